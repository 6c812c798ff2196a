// Speaks the status announcements: through the user's running screen reader where there is
// one, else through the system's speech voice. Texts are handed on by a thread of the
// speaker's own, in the order given, so that a busy or hung reader never holds up the dialog.
#pragma once

#include "afxwin.h"

#include "ScreenReaders.h"

#include <sapi.h>

#include <memory>

namespace quelvant::ui {

class CTextSpeaker {
public:
    // Creates a voice; the real one is the system's SpVoice. Tests may put another in its place.
    using VoiceFactory = HRESULT (*)(ISpVoice** ppVoice);
    static VoiceFactory s_pfnCreateVoice;
    static HRESULT CreateSystemVoice(ISpVoice** ppVoice);
    // Offers a text to a running screen reader; the real one asks NVDA, then JAWS.
    using ReaderSpeech = ReaderOutcome (*)(const wchar_t* text);
    static ReaderSpeech s_pfnSpeakThroughReader;
    // How long one reader's call may take before the texts behind it go to the voice while it
    // lasts. The text in that call stays with the reader, so that nothing is said twice.
    static DWORD s_readerPatienceMs;

    CTextSpeaker() noexcept = default;
    CTextSpeaker(const CTextSpeaker&) = delete;
    CTextSpeaker& operator=(const CTextSpeaker&) = delete;
    // Lets the thread hand on what is queued and release the voice, waiting a moment at most.
    virtual ~CTextSpeaker();

    // Starts the speaker's thread, which creates the voice and then speaks what was given so
    // far. The dialog calls it once its window has been painted; later calls do nothing. The
    // voice is one of the texts' language (a LANGID) where one is installed and the default
    // voice is not; 0 keeps the default voice.
    void Start(LANGID textLanguage = 0);
    bool Started() const noexcept { return static_cast<bool>(m_thread); }

    // The LANGID of a language tag such as "de-DE", or 0 when the system knows no such tag.
    static LANGID LanguageOfTag(const wchar_t* tag) noexcept;

    // Queues the text when alerts are on and the text is not empty; returns at once. A live
    // region given is told of the text whenever no reader took it from us (alerts off, no
    // reader running, or one that refused), so that a reader says each status once.
    void SpeakText(CString text, BOOL bAlerts, HWND liveRegion = nullptr);

    // Whether every text given so far has been handed on within the time; for tests.
    bool WaitUntilHandedOn(DWORD timeoutMs) const;

    struct Queue; // shared with the thread, which may outlive a speaker stuck on a reader

private:
    std::shared_ptr<Queue> m_queue;
    UniqueKernelHandle m_thread;
};

} // namespace quelvant::ui
