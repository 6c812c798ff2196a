#include "GuardedCall.h"

extern "C" {
// Returns fn's 32-bit result zero-extended, or the exception's code with bit 32 set.
unsigned long long QuelvantGuardedCall(void* fn, void* first, void* second);
// Where an exception's unwinding resumes: the frame's epilogue, with the code in rax.
extern const char QuelvantGuardedCallResume[];
EXCEPTION_DISPOSITION QuelvantGuardedCallHandler(EXCEPTION_RECORD* record, void* frame,
                                                 CONTEXT* context, DISPATCHER_CONTEXT* dispatch);
}

// A frame with no saved registers and 40 bytes of stack (the callee's home area, aligned),
// whose unwind data names the handler below. The handler's unwind lands on the epilogue with
// the stack pointer of this frame's body, so the one epilogue serves both ways out.
asm(R"(
    .text
    .globl QuelvantGuardedCall
    .def QuelvantGuardedCall; .scl 2; .type 32; .endef
    .seh_proc QuelvantGuardedCall
QuelvantGuardedCall:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    .seh_handler QuelvantGuardedCallHandler, @except
    movq %rcx, %rax
    movq %rdx, %rcx
    movq %r8, %rdx
    callq *%rax
    movl %eax, %eax
    .globl QuelvantGuardedCallResume
QuelvantGuardedCallResume:
    addq $40, %rsp
    ret
    .seh_endproc
)");

namespace quelvant::ui {

bool IsFatalException(DWORD code) noexcept {
    // The codes that RpcExceptionFilter lets pass, as its documentation lists them; three of
    // them are written out since winnt.h does not carry them.
    constexpr DWORD kPossibleDeadlock = 0xC0000194;
    constexpr DWORD kHandleNotClosable = 0xC0000235;
    constexpr DWORD kInstructionMisalignment = 0xC00000AA;
    constexpr DWORD kFatal[] = {STATUS_ACCESS_VIOLATION,
                                kPossibleDeadlock,
                                kInstructionMisalignment,
                                STATUS_DATATYPE_MISALIGNMENT,
                                STATUS_PRIVILEGED_INSTRUCTION,
                                STATUS_ILLEGAL_INSTRUCTION,
                                STATUS_BREAKPOINT,
                                STATUS_STACK_OVERFLOW,
                                kHandleNotClosable,
                                STATUS_IN_PAGE_ERROR,
                                STATUS_ASSERTION_FAILURE,
                                STATUS_STACK_BUFFER_OVERRUN,
                                STATUS_GUARD_PAGE_VIOLATION,
                                STATUS_REG_NAT_CONSUMPTION};
    for (const DWORD fatal : kFatal) {
        if (code == fatal) {
            return true;
        }
    }
    return false;
}

} // namespace quelvant::ui

extern "C" EXCEPTION_DISPOSITION QuelvantGuardedCallHandler(EXCEPTION_RECORD* record, void* frame,
                                                            CONTEXT* context,
                                                            DISPATCHER_CONTEXT* dispatch) {
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        quelvant::ui::IsFatalException(record->ExceptionCode)) {
        return ExceptionContinueSearch;
    }
    const unsigned long long result = (1ULL << 32) | record->ExceptionCode;
    // Unwinds every frame above ours and resumes at our epilogue; it does not return.
    ::RtlUnwindEx(frame, const_cast<char*>(QuelvantGuardedCallResume), record,
                  reinterpret_cast<void*>(result), context, dispatch->HistoryTable);
    return ExceptionContinueSearch;
}

namespace quelvant::ui {

GuardedResult GuardedCall(void* fn, void* first, void* second) noexcept {
    const unsigned long long result = QuelvantGuardedCall(fn, first, second);
    return {(result >> 32) != 0, static_cast<unsigned long>(result & 0xFFFFFFFFULL)};
}

} // namespace quelvant::ui
