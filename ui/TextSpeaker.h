// Speaks the status announcements through the system's speech voice, one text at a time and
// without waiting for it.
#pragma once

#include "afxwin.h"

#include <sapi.h>

class CTextSpeaker {
public:
    // Creates a voice; the real one is the system's SpVoice. Tests may put another in its place.
    using VoiceFactory = HRESULT (*)(ISpVoice** ppVoice);
    static VoiceFactory s_pfnCreateVoice;
    static HRESULT CreateSystemVoice(ISpVoice** ppVoice);

    CTextSpeaker() noexcept = default;
    CTextSpeaker(const CTextSpeaker&) = delete;
    CTextSpeaker& operator=(const CTextSpeaker&) = delete;
    virtual ~CTextSpeaker() = default; // the voice is released by its owner below

    // Creates the voice now; on failure there is none and speaking tries again later.
    void CreateVoice();

    // Speaks the text in the background when alerts are on and the text is not empty.
    void SpeakText(CString text, BOOL bAlerts);

    ComPtr<ISpVoice> m_pVoice;
};
