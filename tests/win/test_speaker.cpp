// The speaker's rules on a counting voice put in through its factory: when a voice is made,
// what is spoken and with which flags, and that the voice is released.
#include "TextSpeaker.h"
#include "VoiceStub.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Spoken {
    std::wstring text;
    DWORD flags;
};

// Only what the speaker uses is real; the rest of the interface is the stub's.
class CountingVoice : public VoiceStub {
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
