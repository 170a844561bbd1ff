/* The feature-rules configuration word, alone in its own section of the
 * read-only runtime tables; the rules check verifies the section's size and
 * the word. It lives in a file of its own so that the assembler leaves the
 * value to the link, where an image may have overridden the default. */
        .section kf_rule_conf, "a"
        .balign 4
        .long _java_kf_rule_conf_feature_call_within_kernel_monitor

        .section .note.GNU-stack, "", %progbits
