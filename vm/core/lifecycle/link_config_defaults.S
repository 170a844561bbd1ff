/* Default values of the link-time configuration symbols, from the one list
 * of them. They are weak so that an image's build can define any of them
 * again with its own value; the virtual machine reads them as absolute
 * values, never as data. */

#define TARVELO_LINK_CONFIG(name, value) .weak name; .set name, (value) & 0xFFFFFFFF;
#include "vm/model/link_config.def"

        .section .note.GNU-stack, "", %progbits
