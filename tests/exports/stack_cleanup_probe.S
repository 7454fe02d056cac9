/* Calls a function the way a 32-bit Windows host built with another
 * compiler does: arguments pushed right to left on a stack that is only
 * 4-byte aligned (misaligned on purpose by 0..3 words), callee-saved
 * registers and EBP loaded with sentinels, the direction flag clear. It
 * records what the callee left behind: ESP after the call (so the bytes it
 * removed), EBX/ESI/EDI/EBP, EFLAGS, the x87 control word and MXCSR.
 *
 * int32_t __cdecl lumitra_probe_call(const void* fn, const uint32_t* args,
 *                                    int32_t words, int32_t misalignWords);
 */
    .intel_syntax noprefix
    .data
    .balign 4
    .globl _lumitra_probe_state
_lumitra_probe_state:
    .long 0 /*  0: esp just before the call */
    .long 0 /*  4: esp after the call */
    .long 0 /*  8: ebx after */
    .long 0 /* 12: esi after */
    .long 0 /* 16: edi after */
    .long 0 /* 20: ebp after */
    .long 0 /* 24: eflags after */
    .long 0 /* 28: x87 control word before */
    .long 0 /* 32: x87 control word after */
    .long 0 /* 36: mxcsr before */
    .long 0 /* 40: mxcsr after */
    .long 0 /* 44: the probe's own ebp */
    .long 0 /* 48: the function called */

    .text
    .globl _lumitra_probe_call
_lumitra_probe_call:
    push ebp
    mov ebp, esp
    push ebx
    push esi
    push edi
    mov eax, [ebp+8]
    mov [_lumitra_probe_state+48], eax
    and esp, -16
    mov ecx, [ebp+20]
    shl ecx, 2
    sub esp, ecx
    mov ecx, [ebp+16]
    mov edx, [ebp+12]
1:  test ecx, ecx
    jz 2f
    push dword ptr [edx+ecx*4-4]
    dec ecx
    jmp 1b
2:  fnstcw word ptr [_lumitra_probe_state+28]
    stmxcsr dword ptr [_lumitra_probe_state+36]
    mov [_lumitra_probe_state+44], ebp
    mov [_lumitra_probe_state+0], esp
    mov ebx, 0x11111111
    mov esi, 0x22222222
    mov edi, 0x33333333
    mov ebp, 0x44444444
    cld
    call dword ptr [_lumitra_probe_state+48]
    mov [_lumitra_probe_state+4], esp
    mov [_lumitra_probe_state+8], ebx
    mov [_lumitra_probe_state+12], esi
    mov [_lumitra_probe_state+16], edi
    mov [_lumitra_probe_state+20], ebp
    pushfd
    pop dword ptr [_lumitra_probe_state+24]
    fnstcw word ptr [_lumitra_probe_state+32]
    stmxcsr dword ptr [_lumitra_probe_state+40]
    mov ebp, [_lumitra_probe_state+44]
    lea esp, [ebp-12]
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret
