/* A minimal application image: the file header with its magic word, every
 * region the virtual machine finds by symbol (all empty), and the RAM the
 * link reserves next to an image (statics, heaps, the OutOfMemoryError frame
 * record) at the default sizes. It has no code and no runtime prelude, so
 * the virtual machine starts, finds no thread to run and stops.
 *
 * IMAGE_MAGIC overrides the magic word; PROPERTIES_KEY_IS_RECORD makes the
 * first system-properties key the first interned-string record itself (a
 * malformed table). */

#ifndef IMAGE_MAGIC
#define IMAGE_MAGIC 0x0E84C1AF
#endif

#define GLOBAL(name) .globl name; name:

        .section .rodata.java_image, "a"
        .balign 16
GLOBAL(_java_vornsection_header_start)
        .zero 16

GLOBAL(_java_header_types_start)
GLOBAL(_java_header_concretetypes_end)
GLOBAL(_java_header_types_end)

GLOBAL(_java_vornfile_header_start)
        .long 0, 0, IMAGE_MAGIC, 0, 0

GLOBAL(_java_clinits_start)
GLOBAL(_java_clinits_end)
GLOBAL(_java_resource_names_start)
GLOBAL(_java_resource_names_end)
GLOBAL(_java_class_names_start)
GLOBAL(_java_class_names_end)

        /* Kernel header: init-wrapper, kernel addresses and compatible-UID
         * tables (all empty), then the application code chunk. */
        .balign 4
GLOBAL(_java_kernel_header_start)
        .long 0, 0, _java_kernel_addresses_table_start, _java_kernel_addresses_table_end
        .long _java_kernel_compatible_uids_table_start, _java_kernel_compatible_uids_table_end
        .long _java_kernel_code_chunk_start, _java_kernel_code_chunk_end
GLOBAL(_java_kernel_addresses_table_start)
GLOBAL(_java_kernel_addresses_table_end)
GLOBAL(_java_kernel_compatible_uids_table_start)
GLOBAL(_java_kernel_compatible_uids_table_end)

GLOBAL(_java_signature_start)
        .zero 24
GLOBAL(_java_signature_end)

        /* The shared char array (empty) and the names data (none). */
        .balign 4
GLOBAL(_java_sharedarray_start)
        .long 0x82000000, 0, 0
GLOBAL(_java_names_data_start)

        /* String[] of the system-properties keys: header, owner, length, elements. */
        .balign 4
GLOBAL(_java_properties_Keys)
#ifdef PROPERTIES_KEY_IS_RECORD
        .long 0x82000000, 0, 1, _java_internStrings_start
#else
        .long 0x82000000, 0, 0
#endif
GLOBAL(_java_properties_Values)
        .long 0x82000000, 0, 0

        /* Immutables: empty key and value tables; the pre-built
         * OutOfMemoryError's four reference fields and its header. */
        .balign 4
GLOBAL(_java_immutables_start)
GLOBAL(_java_immutable_Keys)
        .long 0x82000000, 0, 0
GLOBAL(_java_immutable_Values)
        .long 0x82000000, 0, 0
        .long 0, 0, 0, 0
GLOBAL(_java_Object_OutOfMemory)
        .long 0x82000000, 0
GLOBAL(_java_immutables_end)

        /* One interned-string record (value, header, owner, offset, count,
         * hash); the strings the virtual machine names are all this one. */
        .balign 4
GLOBAL(_java_internStrings_start)
        .long 0, 0x82000000, 0, 0, 0, 0
GLOBAL(_java_internStrings_end)
        .globl _java_main_thread_name, _java_stream_closed_exception_message
        .globl _java_sni_non_immortal_exception_message, _java_sni_native_resource_owner
        .set _java_main_thread_name, _java_internStrings_start + 4
        .set _java_stream_closed_exception_message, _java_internStrings_start + 4
        .set _java_sni_non_immortal_exception_message, _java_internStrings_start + 4
        .set _java_sni_native_resource_owner, _java_internStrings_start + 4

        /* The kernel's feature descriptor. */
        .balign 4
GLOBAL(_java_features_start)
        .long 0, 0, _java_vornsection_header_start, _java_header_types_start
        .long _java_header_concretetypes_end, _java_header_types_end
        .long _java_class_names_start, _java_class_names_end
        .long _java_resource_names_start, _java_resource_names_end
        .long _java_immutable_Keys, _java_immutable_Values
        .long _java_immutables_start, _java_immutables_end
        .long _java_internStrings_start, _java_internStrings_end
        .long _java_sharedarray_start
GLOBAL(_java_vornsection_end)

        /* RAM next to the image: the statics areas (empty), then the heaps
         * and the OutOfMemoryError frame record at the default sizes. */
        .section .bss.java_image_ram, "aw", @nobits
        .balign 8
GLOBAL(_java_statics_bt1_start)
GLOBAL(_java_statics_bt1_end)
GLOBAL(_java_statics_bt2_start)
GLOBAL(_java_statics_bt2_end)
GLOBAL(_java_statics_bt4_start)
GLOBAL(_java_statics_bt4_end)
GLOBAL(_java_statics_bt8_start)
GLOBAL(_java_statics_bt8_end)
GLOBAL(_java_statics_ref_start)
GLOBAL(_java_statics_refls_kernel_start)
GLOBAL(_java_statics_refls_kernel_end)
GLOBAL(_java_statics_ref_end)
GLOBAL(_java_heap_start)
        .zero 900000
GLOBAL(_java_heap_end)
        .balign 4
GLOBAL(_java_immortals_start)
        .zero 32756
GLOBAL(_java_immortals_end)
        .balign 4
GLOBAL(_java_oome_frames_start)
        .zero 44
GLOBAL(_java_oome_frames_end)
        .balign 4
GLOBAL(_java_features_dynamic_start)
        .zero 64
GLOBAL(_java_features_dynamic_end)
        .balign 8
GLOBAL(_java_kernel_code_chunk_start)
        .zero 8
GLOBAL(_java_kernel_code_chunk_end)

        .section .note.GNU-stack, "", @progbits
