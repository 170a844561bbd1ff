/* The native-interface call on x86-64 (System V): loads the six integer
 * argument registers and the eight vector argument registers from a call
 * block, copies the stacked arguments below the return address, calls the
 * function and stores its integer and vector return registers.
 *
 *   void tarvelo_sni_trampoline(const SniCallBlock* block, SniCallResult* result)
 *
 * SniCallBlock: gpr[6] at 0, xmm[8] at 48, stack count at 112, stack words
 * at 120, function at 128. SniCallResult: rax at 0, rdx at 8, xmm0 at 16. */

        .text
        .globl  tarvelo_sni_trampoline
        .type   tarvelo_sni_trampoline, @function
tarvelo_sni_trampoline:
        .cfi_startproc
        pushq   %rbp
        .cfi_def_cfa_offset 16
        .cfi_offset %rbp, -16
        movq    %rsp, %rbp
        .cfi_def_cfa_register %rbp
        pushq   %rbx
        pushq   %r12
        .cfi_offset %rbx, -24
        .cfi_offset %r12, -32
        movq    %rdi, %rbx
        movq    %rsi, %r12

        /* Room for the stacked arguments, keeping the 16-byte alignment. */
        movq    112(%rbx), %rcx
        leaq    15(,%rcx,8), %rax
        andq    $-16, %rax
        subq    %rax, %rsp
        movq    120(%rbx), %rsi
        xorl    %edx, %edx
1:      cmpq    %rcx, %rdx
        jae     2f
        movq    (%rsi,%rdx,8), %rax
        movq    %rax, (%rsp,%rdx,8)
        incq    %rdx
        jmp     1b
2:
        movsd   48(%rbx), %xmm0
        movsd   56(%rbx), %xmm1
        movsd   64(%rbx), %xmm2
        movsd   72(%rbx), %xmm3
        movsd   80(%rbx), %xmm4
        movsd   88(%rbx), %xmm5
        movsd   96(%rbx), %xmm6
        movsd   104(%rbx), %xmm7
        movq    0(%rbx), %rdi
        movq    8(%rbx), %rsi
        movq    16(%rbx), %rdx
        movq    24(%rbx), %rcx
        movq    32(%rbx), %r8
        movq    40(%rbx), %r9
        movq    128(%rbx), %r11
        /* Vector registers in use, for a variadic callee. */
        movl    $8, %eax
        call    *%r11

        movq    %rax, 0(%r12)
        movq    %rdx, 8(%r12)
        movsd   %xmm0, 16(%r12)
        leaq    -16(%rbp), %rsp
        popq    %r12
        popq    %rbx
        popq    %rbp
        .cfi_def_cfa %rsp, 8
        ret
        .cfi_endproc
        .size   tarvelo_sni_trampoline, .-tarvelo_sni_trampoline

        .section .note.GNU-stack, "", %progbits
