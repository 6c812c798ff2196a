#include "TextSpeaker.h"

#include "AccessibleAnnotations.h"
#include "VoiceChoice.h"

#include <deque>
#include <string>

namespace quelvant::ui {

namespace {
// SpVoice and ISpVoice, as the speech service registers them.
constexpr CLSID kClsidSpVoice = {
    0x96749377, 0x3391, 0x11D2, {0x9E, 0xE3, 0x00, 0xC0, 0x4F, 0x79, 0x73, 0x96}};
constexpr IID kIidISpVoice = {
    0x6C44DF74, 0x72B9, 0x4992, {0xA1, 0xEC, 0xEF, 0x99, 0x6E, 0x04, 0x22, 0xD4}};

// How long the speaker's end waits for its thread: a reader that hangs is left behind.
constexpr DWORD kStopWaitMs = 2000;

void CreateVoiceInto(ComPtr<ISpVoice>& voice, LANGID language) noexcept {
    ISpVoice** slot = voice.Put();
    if (FAILED(CTextSpeaker::s_pfnCreateVoice(slot))) {
        *slot = nullptr;
    }
    if (voice) {
        ChooseVoiceFor(voice.Get(), language);
    }
}
} // namespace

struct CTextSpeaker::Queue {
    SRWLOCK lock = SRWLOCK_INIT;
    struct Entry {
        std::wstring text;
        HWND liveRegion; // told of the text when no reader took it, or nullptr
    };
    std::deque<Entry> texts; // given and not yet handed on
    unsigned long long given = 0;
    unsigned long long handedOn = 0;
    bool stopping = false;
    LANGID language = 0; // of the texts, for the voice; set before the thread starts
    UniqueKernelHandle wake{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};

    // The next text, or false when the queue is empty; stop says whether to end then.
    bool Take(Entry& entry, bool& stop) {
        ::AcquireSRWLockExclusive(&lock);
        const bool have = !texts.empty();
        if (have) {
            entry = std::move(texts.front());
            texts.pop_front();
        }
        stop = stopping;
        ::ReleaseSRWLockExclusive(&lock);
        return have;
    }
};

CTextSpeaker::VoiceFactory CTextSpeaker::s_pfnCreateVoice = &CTextSpeaker::CreateSystemVoice;
CTextSpeaker::ReaderSpeech CTextSpeaker::s_pfnSpeakThroughReader = &SpeakThroughRunningReader;
DWORD CTextSpeaker::s_readerPatienceMs = 12000;

HRESULT CTextSpeaker::CreateSystemVoice(ISpVoice** ppVoice) {
    return ::CoCreateInstance(kClsidSpVoice, nullptr, CLSCTX_ALL, kIidISpVoice,
                              reinterpret_cast<void**>(ppVoice));
}

namespace {

// One call to a reader, on a thread of its own so that a hung reader can be left behind.
struct ReaderCall {
    std::wstring text;
    ReaderOutcome outcome = ReaderOutcome::Failed;
};

DWORD WINAPI ReaderCallThread(void* parameter) {
    const std::unique_ptr<std::shared_ptr<ReaderCall>> owner(
        static_cast<std::shared_ptr<ReaderCall>*>(parameter));
    ReaderCall& call = **owner;
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    call.outcome = CTextSpeaker::s_pfnSpeakThroughReader(call.text.c_str());
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return 0;
}

// Offers the text to a running reader. A call that outlasts the patience is left to finish
// on its own: its text counts as the reader's, and `stuck` holds the call until it ends.
ReaderOutcome OfferToReader(const std::wstring& text, UniqueKernelHandle& stuck) {
    if (stuck) {
        if (::WaitForSingleObject(stuck.Get(), 0) == WAIT_TIMEOUT) {
            return ReaderOutcome::Failed; // the reader is still busy with an earlier text
        }
        stuck.Reset();
    }
    const auto call = std::make_shared<ReaderCall>(ReaderCall{text});
    auto* share = new std::shared_ptr<ReaderCall>(call);
    UniqueKernelHandle thread(::CreateThread(nullptr, 0, &ReaderCallThread, share, 0, nullptr));
    if (!thread) {
        delete share;
        return CTextSpeaker::s_pfnSpeakThroughReader(text.c_str());
    }
    if (::WaitForSingleObject(thread.Get(), CTextSpeaker::s_readerPatienceMs) == WAIT_TIMEOUT) {
        stuck = std::move(thread);
        return ReaderOutcome::Taken;
    }
    return call->outcome;
}

// One text: a running reader that takes it has it alone (true); otherwise, or when the reader
// refuses or fails, the voice says it (made now if the one from the start is missing).
bool HandOn(const std::wstring& text, ComPtr<ISpVoice>& voice, LANGID language,
            UniqueKernelHandle& stuck) noexcept {
    try {
        if (OfferToReader(text, stuck) == ReaderOutcome::Taken) {
            return true;
        }
    } catch (...) {
        // Out of memory for the call: the voice says it.
    }
    if (!voice) {
        CreateVoiceInto(voice, language);
    }
    if (voice) {
        // Asynchronous and without purging, so a second text queues behind the first.
        voice->Speak(text.c_str(), SPF_ASYNC, nullptr);
    }
    return false;
}

DWORD WINAPI SpeakerThread(void* parameter) {
    const std::unique_ptr<std::shared_ptr<CTextSpeaker::Queue>> owner(
        static_cast<std::shared_ptr<CTextSpeaker::Queue>*>(parameter));
    CTextSpeaker::Queue& queue = **owner;
    // A single-threaded apartment for the voice (each reader call makes its own); its
    // messages are pumped while the thread waits.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ComPtr<ISpVoice> voice;
        UniqueKernelHandle stuckReaderCall;
        CreateVoiceInto(voice, queue.language);
        for (;;) {
            CTextSpeaker::Queue::Entry entry{};
            bool stop = false;
            bool have = false;
            try {
                have = queue.Take(entry, stop);
            } catch (...) {
                have = false; // a text that could not be moved out is lost, not the thread
            }
            if (have) {
                // A reader that took the text has said it; any other reader hears it once, from
                // the live region.
                if (!HandOn(entry.text, voice, queue.language, stuckReaderCall)) {
                    RaiseLiveRegionChanged(entry.liveRegion);
                }
                ::AcquireSRWLockExclusive(&queue.lock);
                ++queue.handedOn;
                ::ReleaseSRWLockExclusive(&queue.lock);
                continue;
            }
            if (stop) {
                break;
            }
            const HANDLE wake = queue.wake.Get();
            if (::MsgWaitForMultipleObjectsEx(1, &wake, INFINITE, QS_ALLINPUT,
                                              MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0 + 1) {
                MSG message;
                while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                    ::DispatchMessageW(&message);
                }
            }
        }
    }
    if (SUCCEEDED(com)) {
        ::CoUninitialize();
    }
    return 0;
}

} // namespace

CTextSpeaker::~CTextSpeaker() {
    if (!m_thread) {
        return;
    }
    ::AcquireSRWLockExclusive(&m_queue->lock);
    m_queue->stopping = true;
    ::ReleaseSRWLockExclusive(&m_queue->lock);
    ::SetEvent(m_queue->wake.Get());
    // A thread still inside a reader's call keeps its share of the queue and ends with the
    // process.
    ::WaitForSingleObject(m_thread.Get(), kStopWaitMs);
}

void CTextSpeaker::Start(LANGID textLanguage) {
    if (m_thread) {
        return;
    }
    try {
        if (!m_queue) {
            m_queue = std::make_shared<Queue>();
        }
        if (!m_queue->wake) {
            return;
        }
        m_queue->language = textLanguage;
        auto* share = new std::shared_ptr<Queue>(m_queue);
        m_thread.Reset(::CreateThread(nullptr, 0, &SpeakerThread, share, 0, nullptr));
        if (!m_thread) {
            delete share;
        }
    } catch (...) {
        // Out of memory: silence, as when no voice can be made; the status line still shows.
    }
}

void CTextSpeaker::SpeakText(CString text, BOOL bAlerts, HWND liveRegion) {
    if (bAlerts == 0 || text.empty()) {
        RaiseLiveRegionChanged(liveRegion);
        return;
    }
    try {
        if (!m_queue) {
            m_queue = std::make_shared<Queue>();
        }
        ::AcquireSRWLockExclusive(&m_queue->lock);
        try {
            m_queue->texts.push_back({std::move(text), liveRegion});
            ++m_queue->given;
        } catch (...) {
        }
        ::ReleaseSRWLockExclusive(&m_queue->lock);
        ::SetEvent(m_queue->wake.Get());
    } catch (...) {
        // Out of memory: this one text goes unspoken.
    }
}

LANGID CTextSpeaker::LanguageOfTag(const wchar_t* tag) noexcept {
    if (tag == nullptr || *tag == L'\0') {
        return 0;
    }
    // 0 for a tag the system does not know; a custom locale's id names no language.
    const LCID locale = ::LocaleNameToLCID(tag, 0);
    return locale == LOCALE_CUSTOM_UNSPECIFIED ? 0 : LANGIDFROMLCID(locale);
}

bool CTextSpeaker::WaitUntilHandedOn(DWORD timeoutMs) const {
    if (!m_queue) {
        return true;
    }
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        ::AcquireSRWLockExclusive(&m_queue->lock);
        const bool done = m_queue->handedOn == m_queue->given;
        ::ReleaseSRWLockExclusive(&m_queue->lock);
        if (done) {
            return true;
        }
        if (::GetTickCount64() >= deadline) {
            return false;
        }
        ::Sleep(5);
    }
}

} // namespace quelvant::ui
