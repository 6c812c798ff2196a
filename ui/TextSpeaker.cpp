#include "TextSpeaker.h"

namespace {
// SpVoice and ISpVoice, as the speech service registers them.
constexpr CLSID kClsidSpVoice = {
    0x96749377, 0x3391, 0x11D2, {0x9E, 0xE3, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
constexpr IID kIidISpVoice = {
    0x6C44DF74, 0x72B9, 0x4992, {0xA1, 0xEC, 0xEF, 0x99, 0x6E, 0x04, 0x22, 0xD4}};
} // namespace

CTextSpeaker::VoiceFactory CTextSpeaker::s_pfnCreateVoice = &CTextSpeaker::CreateSystemVoice;

HRESULT CTextSpeaker::CreateSystemVoice(ISpVoice** ppVoice) {
    return ::CoCreateInstance(kClsidSpVoice, nullptr, CLSCTX_ALL, kIidISpVoice,
                              reinterpret_cast<void**>(ppVoice));
}

void CTextSpeaker::CreateVoice() {
    ISpVoice** slot = m_pVoice.Put();
    if (FAILED(s_pfnCreateVoice(slot))) {
        *slot = nullptr;
    }
}

void CTextSpeaker::SpeakText(CString text, BOOL bAlerts) {
    if (bAlerts == 0 || text.empty()) {
        return;
    }
    if (!m_pVoice) {
        CreateVoice();
    }
    if (!m_pVoice) {
        return;
    }
    // Asynchronous and without purging, so a second text queues behind the first.
    m_pVoice->Speak(text.c_str(), SPF_ASYNC, nullptr);
}
