// The speaker's rules on a counting voice put in through its factory: when a voice is made,
// what is spoken and with which flags, and that the voice is released.
#include "TextSpeaker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Spoken {
    std::wstring text;
    DWORD flags;
};

// Only what the speaker uses is real; the rest of the interface is never called.
class CountingVoice : public ISpVoice {
public:
    static inline int s_created = 0;
    static inline int s_refusals = 0; // creations still to refuse
    static inline int s_alive = 0;
    static inline std::vector<Spoken> s_spoken;

    static HRESULT Create(ISpVoice** voice) {
        if (s_refusals > 0) {
            --s_refusals;
            *voice = nullptr;
            return E_FAIL;
        }
        ++s_created;
        *voice = new CountingVoice();
        return S_OK;
    }

    CountingVoice() { ++s_alive; }
    virtual ~CountingVoice() { --s_alive; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) {
            delete this;
        }
        return refs;
    }
    HRESULT STDMETHODCALLTYPE Speak(LPCWSTR text, DWORD flags, ULONG*) override {
        s_spoken.push_back({text, flags});
        return S_OK;
    }

    // ISpNotifySource, ISpEventSource and the rest of ISpVoice: not used by the speaker.
    HRESULT STDMETHODCALLTYPE SetNotifySink(ISpNotifySink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNotifyWindowMessage(HWND, UINT, WPARAM, LPARAM) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetNotifyCallbackFunction(SPNOTIFYCALLBACK*, WPARAM,
                                                        LPARAM) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetNotifyCallbackInterface(ISpNotifyCallback*, WPARAM,
                                                         LPARAM) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetNotifyWin32Event() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WaitForNotifyEvent(DWORD) override { return E_NOTIMPL; }
    HANDLE STDMETHODCALLTYPE GetNotifyEventHandle() override { return nullptr; }
    HRESULT STDMETHODCALLTYPE SetInterest(ULONGLONG, ULONGLONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEvents(ULONG, SPEVENT*, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInfo(SPEVENTSOURCEINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOutput(IUnknown*, WINBOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputObjectToken(ISpObjectToken**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputStream(ISpStreamFormat**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Pause() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resume() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVoice(ISpObjectToken*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVoice(ISpObjectToken**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SpeakStream(IStream*, DWORD, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatus(SPVOICESTATUS*, LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Skip(LPCWSTR, long, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPriority(SPVPRIORITY) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPriority(SPVPRIORITY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetAlertBoundary(SPEVENTENUM) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAlertBoundary(SPEVENTENUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRate(long) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRate(long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetVolume(USHORT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVolume(USHORT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE WaitUntilDone(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSyncSpeakTimeout(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSyncSpeakTimeout(ULONG*) override { return E_NOTIMPL; }
    HANDLE STDMETHODCALLTYPE SpeakCompleteEvent() override { return nullptr; }
    HRESULT STDMETHODCALLTYPE IsUISupported(LPCWSTR, void*, ULONG, WINBOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DisplayUI(HWND, LPCWSTR, LPCWSTR, void*, ULONG) override {
        return E_NOTIMPL;
    }

private:
    ULONG m_refs = 1;
};

class SpeakerTest : public ::testing::Test {
protected:
    void SetUp() override {
        CountingVoice::s_created = 0;
        CountingVoice::s_refusals = 0;
        CountingVoice::s_spoken.clear();
        saved = CTextSpeaker::s_pfnCreateVoice;
        CTextSpeaker::s_pfnCreateVoice = &CountingVoice::Create;
    }
    void TearDown() override { CTextSpeaker::s_pfnCreateVoice = saved; }
    CTextSpeaker::VoiceFactory saved = nullptr;
};

TEST_F(SpeakerTest, ConstructionMakesNoVoiceAndNothingIsSpokenWithAlertsOffOrNoText) {
    CTextSpeaker speaker;
    EXPECT_FALSE(speaker.m_pVoice);
    speaker.SpeakText(L"Mouse Buttons Disabled", FALSE);
    speaker.SpeakText(L"", TRUE);
    // Neither an announcement with alerts off nor an empty text creates a voice.
    EXPECT_EQ(CountingVoice::s_created, 0);
    EXPECT_TRUE(CountingVoice::s_spoken.empty());
}

TEST_F(SpeakerTest, VoiceMadeOnceAndReusedWithAsynchronousSpeechOnly) {
    {
        CTextSpeaker speaker;
        speaker.CreateVoice();
        speaker.SpeakText(L"one", TRUE);
        speaker.SpeakText(L"two", 7); // any non-zero switch counts as on
        EXPECT_EQ(CountingVoice::s_created, 1);
        ASSERT_EQ(CountingVoice::s_spoken.size(), 2u);
        EXPECT_EQ(CountingVoice::s_spoken[0].text, L"one");
        EXPECT_EQ(CountingVoice::s_spoken[1].text, L"two");
        for (const Spoken& s : CountingVoice::s_spoken) {
            EXPECT_EQ(s.flags, static_cast<DWORD>(SPF_ASYNC));
        }
        EXPECT_EQ(CountingVoice::s_alive, 1);
    }
    // The speaker's end releases its voice.
    EXPECT_EQ(CountingVoice::s_alive, 0);
}

TEST_F(SpeakerTest, FailedCreationIsRetriedAtEachRealAnnouncementUntilOneWorks) {
    CountingVoice::s_refusals = 2;
    CTextSpeaker speaker;
    speaker.CreateVoice(); // refused at start
    EXPECT_FALSE(speaker.m_pVoice);
    speaker.SpeakText(L"quiet", FALSE); // not to be spoken: no try
    EXPECT_EQ(CountingVoice::s_refusals, 1);
    speaker.SpeakText(L"first", TRUE); // refused again: silent
    EXPECT_EQ(CountingVoice::s_refusals, 0);
    EXPECT_TRUE(CountingVoice::s_spoken.empty());
    speaker.SpeakText(L"second", TRUE); // created now
    speaker.SpeakText(L"third", TRUE);  // and reused
    EXPECT_EQ(CountingVoice::s_created, 1);
    ASSERT_EQ(CountingVoice::s_spoken.size(), 2u);
    EXPECT_EQ(CountingVoice::s_spoken[0].text, L"second");
}

} // namespace
