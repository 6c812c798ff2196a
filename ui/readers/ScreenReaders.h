// The screen readers that can speak an announcement in place of the system's voice: NVDA
// through its controller interface (local RPC), then JAWS through its COM object. Each call
// may block for as long as the reader takes: make it on the speaker's own thread only.
#pragma once

namespace quelvant::ui {

enum class ReaderOutcome {
    NoneRunning, // no reader's window: the system's voice speaks
    Taken,       // a reader took the text: nothing else may say it
    Failed,      // a reader runs but refused the text or its call failed
};

// Hands the text to the first running reader, NVDA before JAWS. COM must be initialised on
// the calling thread.
ReaderOutcome SpeakThroughRunningReader(const wchar_t* text) noexcept;

// The endpoint names of NVDA's controller, the current one first: "NvdaCtlr." with the
// session and the desktop, then the single name of older versions.
void NvdaEndpointNames(wchar_t (&current)[96], wchar_t (&older)[96]) noexcept;

} // namespace quelvant::ui
