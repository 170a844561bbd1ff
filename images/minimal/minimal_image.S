/* A minimal application image: the file header with its magic word and the
 * tables the virtual machine's start-up reads, all empty. It has no code, so
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

GLOBAL(_java_vornfile_header_start)
        .long 0, 0, IMAGE_MAGIC, 0, 0

GLOBAL(_java_clinits_start)
GLOBAL(_java_clinits_end)

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

        /* One interned-string record (value, header, owner, offset, count, hash). */
        .balign 4
GLOBAL(_java_internStrings_start)
        .long 0, 0x82000000, 0, 0, 0, 0
GLOBAL(_java_internStrings_end)

        .section .note.GNU-stack, "", @progbits
