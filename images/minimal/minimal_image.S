/* A minimal application image: the file header with its magic word, the
 * type headers the virtual machine names (with their class-name records),
 * one resource, the immutables with the pre-built OutOfMemoryError, and the
 * RAM areas the link reserves next to the image (statics, heaps, the
 * OutOfMemoryError frame record, the installed-feature table). It has no
 * code, so the virtual machine starts, finds no thread to run and stops.
 *
 * Variants for tests:
 *   IMAGE_MAGIC               the magic word of the file header
 *   PROPERTIES_KEY_IS_RECORD  the first system-properties key is the first
 *                             interned-string record itself (malformed)
 *   HEAP_SIZE, IMMORTALS_SIZE, OOME_FRAMES_SIZE  sizes of those RAM areas */

#ifndef IMAGE_MAGIC
#define IMAGE_MAGIC 0x0E84C1AF
#endif
#ifndef HEAP_SIZE
#define HEAP_SIZE 900000
#endif
#ifndef IMMORTALS_SIZE
#define IMMORTALS_SIZE 32756
#endif
#ifndef OOME_FRAMES_SIZE
#define OOME_FRAMES_SIZE 44
#endif

#define GLOBAL(name) .globl name; name:
/* Header word of an image object of type `t`: top byte 0x82, type offset. */
#define OBJECT_HEADER(t) (0x82000000 + ((t) - _java_header_types_start))

/* Type flags. */
#define ARRAY 0x01
#define ABSTRACT 0x04
#define PUBLIC_CTOR 0x10
#define EXPORTED 0x40

/* A class type header: 36 bytes in a 48-byte slot. */
.macro CLASS sym, record, flags, depth, hierarchy, size, refs
        .globl \sym
\sym:
        .long OBJECT_HEADER(_java_Ljava_lang_Class), 0, \record
        .byte \flags, \depth, 0, 0
        .long \hierarchy, 0, 0
        .short \size, \refs
        .long 0
        .zero 12
.endm

/* An array type header: 20 bytes in a 32-byte slot. */
.macro ARRAY_TYPE sym, record, element
        .globl \sym
\sym:
        .long OBJECT_HEADER(_java_Ljava_lang_Class), 0, \record
        .byte ARRAY | EXPORTED, 0, 0, 0
        .long \element
        .zero 12
.endm

/* An abstract-class type header: 24 bytes. */
.macro ABSTRACT_CLASS sym, record, flags, depth, hierarchy
        .globl \sym
\sym:
        .long OBJECT_HEADER(_java_Ljava_lang_Class), 0, \record
        .byte \flags, \depth, 0, 0
        .long \hierarchy, 0
.endm

/* Records: package (name, length, parent); class name (name, length,
 * package, type); array class name ('[', dimensions, element record, type). */
.macro NAME label, text
\label: .ascii "\text"
\label\()_end:
.endm
.macro PACKAGE sym, name, parent
\sym: .long \name, \name\()_end - \name, \parent
.endm
.macro CLASS_NAME sym, name, package, type
\sym: .long \name, \name\()_end - \name, \package, \type
.endm

        .section .rodata.java_image, "a"
        .balign 16
GLOBAL(_java_vornsection_header_start)
        .zero 16

        /* Class and array type headers, 16-aligned from the types base. */
GLOBAL(_java_header_types_start)
        CLASS _java_Ljava_lang_Object, cn_Object, EXPORTED|PUBLIC_CTOR, 0, 0, 8, 0
        CLASS _java_Ljava_lang_Class, cn_Class, EXPORTED, 1, hier_Object, 8, 0
        CLASS _java_Ljava_lang_String, cn_String, EXPORTED, 1, hier_Object, 24, 4
        CLASS _java_Ljava_lang_Throwable, cn_Throwable, EXPORTED|PUBLIC_CTOR, 1, hier_Object, 24, 16
        CLASS _java_Ljava_lang_OutOfMemoryError, cn_OutOfMemoryError, EXPORTED, 2, hier_Throwable, 24, 16
        CLASS _java_Ljava_lang_ref_WeakReference, cn_WeakReference, EXPORTED, 2, hier_Reference, 28, 16
        CLASS _java_Lyq_kf_Proxy, cn_Proxy, 0, 2, hier_Reference, 28, 16
        CLASS _java_Lyq_sni_AutoCloseWeakRef, cn_AutoCloseWeakRef, 0, 3, hier_WeakReference, 32, 20
        ARRAY_TYPE _java_AC, cn_AC, 5
        ARRAY_TYPE _java_AI, cn_AI, 10
        ARRAY_TYPE _java_ALjava_lang_String, cn_AString, _java_Ljava_lang_String
        ARRAY_TYPE _java_ALjava_lang_Object, cn_AObject, _java_Ljava_lang_Object
GLOBAL(_java_header_concretetypes_end)
        /* Abstract classes and interfaces. */
        ABSTRACT_CLASS _java_Ljava_lang_ref_Reference, cn_Reference, EXPORTED|ABSTRACT, 1, hier_Object
GLOBAL(_java_header_types_end)

        /* Hierarchy tables: the proper ancestors by depth. */
        .balign 4
hier_Object: .long _java_Ljava_lang_Object
hier_Throwable: .long _java_Ljava_lang_Object, _java_Ljava_lang_Throwable
hier_Reference: .long _java_Ljava_lang_Object, _java_Ljava_lang_ref_Reference
hier_WeakReference: .long _java_Ljava_lang_Object, _java_Ljava_lang_ref_Reference, _java_Ljava_lang_ref_WeakReference

GLOBAL(_java_vornfile_header_start)
        .long 0, 0, IMAGE_MAGIC, 0, 0

GLOBAL(_java_clinits_start)
GLOBAL(_java_clinits_end)

        /* Package records. */
        .balign 4
        PACKAGE pk_java, n_java, 0
        PACKAGE pk_lang, n_lang, pk_java
        PACKAGE pk_ref, n_ref, pk_lang
        PACKAGE pk_yq, n_yq, 0
        PACKAGE pk_kf, n_kf, pk_yq
        PACKAGE pk_sni, n_sni, pk_yq
        PACKAGE pk_resources, n_resources, 0

        /* Resource records: name, length, package, size, data, owner. */
GLOBAL(_java_resource_names_start)
        .long n_hello, n_hello_end - n_hello, pk_resources, hello_data_end - hello_data, hello_data, 0
GLOBAL(_java_resource_names_end)

        /* Primitive-code records (long down to boolean), then class names. */
GLOBAL(_java_class_names_start)
        .irp code, 11, 10, 9, 8, 7, 6, 5, 4
        .long n_code_\code, 1, 0, \code
        .endr
        CLASS_NAME cn_Object, n_Object, pk_lang, _java_Ljava_lang_Object
        CLASS_NAME cn_Class, n_Class, pk_lang, _java_Ljava_lang_Class
        CLASS_NAME cn_String, n_String, pk_lang, _java_Ljava_lang_String
        CLASS_NAME cn_Throwable, n_Throwable, pk_lang, _java_Ljava_lang_Throwable
        CLASS_NAME cn_OutOfMemoryError, n_OutOfMemoryError, pk_lang, _java_Ljava_lang_OutOfMemoryError
        CLASS_NAME cn_Reference, n_Reference, pk_ref, _java_Ljava_lang_ref_Reference
        CLASS_NAME cn_WeakReference, n_WeakReference, pk_ref, _java_Ljava_lang_ref_WeakReference
        CLASS_NAME cn_Proxy, n_Proxy, pk_kf, _java_Lyq_kf_Proxy
        CLASS_NAME cn_AutoCloseWeakRef, n_AutoCloseWeakRef, pk_sni, _java_Lyq_sni_AutoCloseWeakRef
cn_AC: .long n_bracket, 1, _java_class_names_start + 6 * 16, _java_AC
cn_AI: .long n_bracket, 1, _java_class_names_start + 1 * 16, _java_AI
cn_AString: .long n_bracket, 1, cn_String, _java_ALjava_lang_String
cn_AObject: .long n_bracket, 1, cn_Object, _java_ALjava_lang_Object
GLOBAL(_java_class_names_end)

        /* Names data. */
GLOBAL(_java_names_data_start)
        .irp code, 11, 10, 9, 8, 7, 6, 5, 4
n_code_\code: .byte \code
        .endr
        NAME n_bracket, "["
        NAME n_java, "java"
        NAME n_lang, "lang"
        NAME n_ref, "ref"
        NAME n_yq, "yq"
        NAME n_kf, "kf"
        NAME n_sni, "sni"
        NAME n_resources, "resources"
        NAME n_hello, "hello.txt"
        NAME n_Object, "Object"
        NAME n_Class, "Class"
        NAME n_String, "String"
        NAME n_Throwable, "Throwable"
        NAME n_OutOfMemoryError, "OutOfMemoryError"
        NAME n_Reference, "Reference"
        NAME n_WeakReference, "WeakReference"
        NAME n_Proxy, "Proxy"
        NAME n_AutoCloseWeakRef, "AutoCloseWeakRef"

hello_data: .ascii "hello"
hello_data_end:

        /* String[] of the system-properties keys and values: header, owner,
         * length, elements. */
        .balign 4
GLOBAL(_java_properties_Keys)
#ifdef PROPERTIES_KEY_IS_RECORD
        .long OBJECT_HEADER(_java_ALjava_lang_String), 0, 1, _java_internStrings_start
#else
        .long OBJECT_HEADER(_java_ALjava_lang_String), 0, 0
#endif
GLOBAL(_java_properties_Values)
        .long OBJECT_HEADER(_java_ALjava_lang_String), 0, 0

        /* Immutables: no named objects, then the pre-built OutOfMemoryError
         * (its four reference fields, all null, below its header). */
GLOBAL(_java_immutables_start)
GLOBAL(_java_immutable_Keys)
        .long OBJECT_HEADER(_java_ALjava_lang_String), 0, 0
GLOBAL(_java_immutable_Values)
        .long OBJECT_HEADER(_java_ALjava_lang_Object), 0, 0
        .long 0, 0, 0, 0
GLOBAL(_java_Object_OutOfMemory)
        .long OBJECT_HEADER(_java_Ljava_lang_OutOfMemoryError), 0
GLOBAL(_java_immutables_end)

        /* The shared char array, empty. */
GLOBAL(_java_sharedarray_start)
        .long OBJECT_HEADER(_java_AC), 0, 0

        /* One interned-string record (value, header, owner, offset, count, hash). */
GLOBAL(_java_internStrings_start)
        .long _java_sharedarray_start, OBJECT_HEADER(_java_Ljava_lang_String), 0, 0, 0, 0
GLOBAL(_java_internStrings_end)
        /* The main thread's name is that one (empty) string. */
        .globl _java_main_thread_name
        .set _java_main_thread_name, _java_internStrings_start + 4

        /* Kernel header: no init wrapper, no exported address, no UID. */
        .balign 4
GLOBAL(_java_kernel_header_start)
        .long 0, 0, 0, 0, 0, 0, 0, 0

        .balign 4
GLOBAL(_java_vornsection_end)

        /* RAM next to the image: the statics areas (each aligned to its
         * width), the main heap directly after REF, the immortal heap, the
         * OutOfMemoryError frame record and the installed-feature table. */
        .section .bss.java_ram, "aw", %nobits
        .balign 8
GLOBAL(_java_statics_bt1_start)
        .zero 9
GLOBAL(_java_statics_bt1_end)
        .balign 2
GLOBAL(_java_statics_bt2_start)
        .zero 4
GLOBAL(_java_statics_bt2_end)
        .balign 4
GLOBAL(_java_statics_bt4_start)
        .zero 52
GLOBAL(_java_statics_bt4_end)
        .balign 8
GLOBAL(_java_statics_bt8_start)
        .zero 56
GLOBAL(_java_statics_bt8_end)
        .balign 4
GLOBAL(_java_statics_ref_start)
        .zero 255 * 4
GLOBAL(_java_statics_refls_kernel_start)
        .zero 15 * 4
GLOBAL(_java_statics_refls_kernel_end)
GLOBAL(_java_statics_ref_end)
GLOBAL(_java_heap_start)
        .if HEAP_SIZE  /* a variant may make the area empty: no zero-count .zero */
        .zero HEAP_SIZE
        .endif
GLOBAL(_java_heap_end)
        .balign 4
GLOBAL(_java_immortals_start)
        .if IMMORTALS_SIZE  /* a variant may make the area empty: no zero-count .zero */
        .zero IMMORTALS_SIZE
        .endif
GLOBAL(_java_immortals_end)
        .balign 4
GLOBAL(_java_oome_frames_start)
        .if OOME_FRAMES_SIZE  /* a variant may make the area empty: no zero-count .zero */
        .zero OOME_FRAMES_SIZE
        .endif
GLOBAL(_java_oome_frames_end)
GLOBAL(_java_features_dynamic_start)
        .zero 16 * 4
GLOBAL(_java_features_dynamic_end)

        .section .note.GNU-stack, "", %progbits
