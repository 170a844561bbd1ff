/* The native-interface call on 32-bit ARM with hardware floating point
 * (AAPCS-VFP): reserves the outgoing argument area on the stack, copies the
 * placed argument words into it, loads d0-d7 (s0-s15) from the call block,
 * takes the area's first four words into r0-r3 so that the rest is the
 * callee's stacked arguments, calls the function and stores r0, r1 and d0.
 *
 *   void tarvelo_sni_trampoline(const SniArmCall* call, SniArmReturn* result)
 *
 * SniArmCall: s0-s15 at 0, area size in bytes (a multiple of 8, at least 16)
 * at 64, area words at 68, function at 72. SniArmReturn: r0 at 0, r1 at 4,
 * d0 at 8. The stack stays 8-byte aligned at the call. */

        .syntax unified
        .arch   armv7-a
        .fpu    vfpv3-d16
        .thumb
        .text
        .globl  tarvelo_sni_trampoline
        .type   tarvelo_sni_trampoline, %function
        .thumb_func
tarvelo_sni_trampoline:
        .fnstart
        .cfi_startproc
        push    {r4, r5, r6, lr}
        .save   {r4, r5, r6, lr}
        .cfi_def_cfa_offset 16
        .cfi_offset r4, -16
        .cfi_offset r5, -12
        .cfi_offset r6, -8
        .cfi_offset lr, -4
        mov     r4, r0
        mov     r5, r1
        mov     r6, sp
        .setfp  r6, sp
        .cfi_def_cfa_register r6

        ldr     r2, [r4, #64]
        sub     sp, sp, r2
        ldr     r1, [r4, #68]
        mov     r3, sp
1:      subs    r2, r2, #4
        blt     2f
        ldr     r0, [r1, r2]
        str     r0, [r3, r2]
        b       1b
2:
        vldmia  r4, {d0-d7}
        ldr     ip, [r4, #72]
        pop     {r0, r1, r2, r3}
        blx     ip

        str     r0, [r5, #0]
        str     r1, [r5, #4]
        vstr    d0, [r5, #8]
        mov     sp, r6
        .cfi_def_cfa_register sp
        pop     {r4, r5, r6, pc}
        .cfi_endproc
        .fnend
        .size   tarvelo_sni_trampoline, .-tarvelo_sni_trampoline

        .section .note.GNU-stack, "", %progbits
