// The speaker's rules on a counting voice and a stand-in reader put in through its seams: when
// a voice is made and on which thread, in which order texts go, and that no reader, however
// slow, holds up the caller or the speaker's end. Also the guarded call under the RPC stubs and
// the status line's live-region event. Who speaks which text is the end-to-end tests' table.
#include "AccessibleAnnotations.h"
#include "GuardedCall.h"
#include "TextSpeaker.h"
#include "VoiceStub.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

using namespace quelvant::ui;

namespace {

struct Spoken {
    std::wstring text;
    DWORD flags;
};

// Only what the speaker uses is real; the rest of the interface is the stub's. The speaker
// calls it on its own thread, so what it records is guarded.
class CountingVoice : public VoiceStub {
public:
    static inline std::mutex s_lock;
    static inline int s_created = 0;
    static inline int s_refusals = 0; // creations still to refuse
    static inline std::atomic<int> s_alive = 0;
    static inline DWORD s_createdOnThread = 0;
    static inline std::vector<Spoken> s_spoken;

    static HRESULT Create(ISpVoice** voice) {
        const std::lock_guard<std::mutex> guard(s_lock);
        if (s_refusals > 0) {
            --s_refusals;
            *voice = nullptr;
            return E_FAIL;
        }
        ++s_created;
        s_createdOnThread = ::GetCurrentThreadId();
        *voice = new CountingVoice();
        return S_OK;
    }
    static std::vector<Spoken> SpokenSoFar() {
        const std::lock_guard<std::mutex> guard(s_lock);
        return s_spoken;
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
        const std::lock_guard<std::mutex> guard(s_lock);
        s_spoken.push_back({text, flags});
        return S_OK;
    }

private:
    std::atomic<ULONG> m_refs = 1;
};

// A reader that answers as told, after waiting for s_release when that is set.
struct StandInReader {
    static inline std::mutex s_lock;
    static inline ReaderOutcome s_outcome = ReaderOutcome::NoneRunning;
    static inline HANDLE s_release = nullptr;
    static inline std::vector<std::wstring> s_offered;

    static ReaderOutcome Speak(const wchar_t* text) {
        {
            const std::lock_guard<std::mutex> guard(s_lock);
            s_offered.emplace_back(text);
        }
        if (s_release != nullptr) {
            ::WaitForSingleObject(s_release, INFINITE);
        }
        return s_outcome;
    }
    static std::vector<std::wstring> Offered() {
        const std::lock_guard<std::mutex> guard(s_lock);
        return s_offered;
    }
};

std::vector<std::wstring> Texts(const std::vector<Spoken>& spoken) {
    std::vector<std::wstring> texts;
    for (const Spoken& s : spoken) {
        texts.push_back(s.text);
    }
    return texts;
}

class SpeakerTest : public ::testing::Test {
protected:
    void SetUp() override {
        CountingVoice::s_created = 0;
        CountingVoice::s_refusals = 0;
        CountingVoice::s_spoken.clear();
        StandInReader::s_outcome = ReaderOutcome::NoneRunning;
        StandInReader::s_release = nullptr;
        StandInReader::s_offered.clear();
        CTextSpeaker::s_pfnCreateVoice = &CountingVoice::Create;
        CTextSpeaker::s_pfnSpeakThroughReader = &StandInReader::Speak;
    }
    void TearDown() override {
        CTextSpeaker::s_pfnCreateVoice = &CTextSpeaker::CreateSystemVoice;
        CTextSpeaker::s_pfnSpeakThroughReader = &SpeakThroughRunningReader;
    }
};

TEST_F(SpeakerTest, NothingIsSpokenOrMadeBeforeTheStartWithAlertsOffOrWithoutText) {
    {
        CTextSpeaker speaker;
        speaker.SpeakText(L"Mouse Buttons Disabled", FALSE);
        speaker.SpeakText(L"", TRUE);
        speaker.SpeakText(L"waits for the start", TRUE);
        EXPECT_FALSE(speaker.Started());
    }
    // A speaker that never started made no voice and offered nothing to a reader.
    EXPECT_EQ(CountingVoice::s_created, 0);
    EXPECT_TRUE(StandInReader::Offered().empty());
}

TEST_F(SpeakerTest, StartMakesTheVoiceOnItsOwnThreadThenSpeaksWhatWaitedInOrder) {
    {
        CTextSpeaker speaker;
        speaker.SpeakText(L"one", TRUE);
        speaker.SpeakText(L"two", 7); // any non-zero switch counts as on
        speaker.Start();
        speaker.Start(); // a second start changes nothing
        speaker.SpeakText(L"three", TRUE);
        ASSERT_TRUE(speaker.WaitUntilHandedOn(10000));
        EXPECT_EQ(CountingVoice::s_created, 1);
        EXPECT_NE(CountingVoice::s_createdOnThread, ::GetCurrentThreadId());
        const std::vector<Spoken> spoken = CountingVoice::SpokenSoFar();
        EXPECT_EQ(Texts(spoken), (std::vector<std::wstring>{L"one", L"two", L"three"}));
        for (const Spoken& s : spoken) {
            EXPECT_EQ(s.flags, static_cast<DWORD>(SPF_ASYNC));
        }
        EXPECT_EQ(CountingVoice::s_alive, 1);
    }
    // The speaker's end releases its voice.
    EXPECT_EQ(CountingVoice::s_alive, 0);
}

TEST_F(SpeakerTest, AHungReaderHoldsUpNeitherTheCallerNorTheSpeakersEnd) {
    const UniqueKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    StandInReader::s_release = release.Get();
    StandInReader::s_outcome = ReaderOutcome::Taken;
    const ULONGLONG before = ::GetTickCount64();
    {
        CTextSpeaker speaker;
        speaker.Start();
        for (const wchar_t* text : {L"one", L"two", L"three"}) {
            speaker.SpeakText(text, TRUE);
        }
        EXPECT_FALSE(speaker.WaitUntilHandedOn(300));
        // Stuck on the first: the others wait behind it, in order, and nothing was dropped.
        EXPECT_EQ(StandInReader::Offered(), std::vector<std::wstring>{L"one"});
    }
    // The end waited a moment only, and left the stuck thread its own share of the queue.
    EXPECT_LT(::GetTickCount64() - before, 5000u);
    EXPECT_TRUE(CountingVoice::SpokenSoFar().empty());
    ::SetEvent(release.Get());
    for (int i = 0; i < 1000 && StandInReader::Offered().size() < 3; ++i) {
        ::Sleep(10);
    }
    EXPECT_EQ(StandInReader::Offered(), (std::vector<std::wstring>{L"one", L"two", L"three"}));
    // Let the thread finish before the next test changes the seams.
    for (int i = 0; i < 1000 && CountingVoice::s_alive > 0; ++i) {
        ::Sleep(10);
    }
    StandInReader::s_release = nullptr;
}

TEST_F(SpeakerTest, TextsBehindAReaderThatOutlastsItsPatienceGoToTheVoiceUntilItAnswers) {
    const UniqueKernelHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    StandInReader::s_release = release.Get();
    StandInReader::s_outcome = ReaderOutcome::Taken;
    const DWORD patience = CTextSpeaker::s_readerPatienceMs;
    CTextSpeaker::s_readerPatienceMs = 200;
    {
        CTextSpeaker speaker;
        speaker.Start();
        speaker.SpeakText(L"stuck", TRUE);
        speaker.SpeakText(L"meanwhile", TRUE);
        ASSERT_TRUE(speaker.WaitUntilHandedOn(10000));
        // The stuck text stays the reader's; the next is not offered to it but said by the voice.
        EXPECT_EQ(StandInReader::Offered(), std::vector<std::wstring>{L"stuck"});
        EXPECT_EQ(Texts(CountingVoice::SpokenSoFar()), std::vector<std::wstring>{L"meanwhile"});
        // Once the reader has answered, it is offered texts again.
        StandInReader::s_release = nullptr;
        ::SetEvent(release.Get());
        for (int i = 0; i < 1000 && StandInReader::Offered().size() < 2; ++i) {
            speaker.SpeakText(L"later", TRUE);
            ASSERT_TRUE(speaker.WaitUntilHandedOn(10000));
        }
        EXPECT_EQ(StandInReader::Offered().back(), L"later");
    }
    CTextSpeaker::s_readerPatienceMs = patience;
}

unsigned long __stdcall Answer(void* value, void*) {
    return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(value));
}
unsigned long __stdcall Raise(void* code, void*) {
    ::RaiseException(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(code)), 0, 0, nullptr);
    return 0;
}

TEST(GuardedCall, ReturnsTheResultOrTheCodeOfAStructuredExceptionAndGoesOn) {
    const GuardedResult answered = GuardedCall(reinterpret_cast<void*>(&Answer),
                                               reinterpret_cast<void*>(0xFFFFFFFFul), nullptr);
    EXPECT_FALSE(answered.raised);
    EXPECT_EQ(answered.value, 0xFFFFFFFFul);
    for (const DWORD code : {static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE),
                             static_cast<DWORD>(RPC_S_CALL_FAILED), 0xC0000001ul}) {
        const GuardedResult raised = GuardedCall(reinterpret_cast<void*>(&Raise),
                                                 reinterpret_cast<void*>(ULONG_PTR{code}), nullptr);
        EXPECT_TRUE(raised.raised);
        EXPECT_EQ(raised.value, code);
    }
    EXPECT_TRUE(IsFatalException(static_cast<DWORD>(STATUS_ACCESS_VIOLATION)));
    EXPECT_FALSE(IsFatalException(RPC_S_SERVER_UNAVAILABLE));
}

std::vector<HWND> g_liveRegionEvents;
void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD,
                         DWORD) {
    if (event == kEventLiveRegionChanged && object == OBJID_CLIENT && child == CHILDID_SELF) {
        g_liveRegionEvents.push_back(window);
    }
}

// A reader hears each status once: from us when it took the text, else from the live region.
TEST_F(SpeakerTest, TheLiveRegionIsToldOfEveryStatusNoReaderTookFromUs) {
    const HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPED | ES_READONLY, 0, 0, 100, 20,
                                        nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    {
        // Where the system has no annotation service (Wine), marking fails quietly.
        CAccessibleAnnotations annotations;
        RecordProperty("live_region_marked",
                       annotations.Start() && annotations.MakeLiveRegion(edit) ? "yes" : "no");
    }
    const HWINEVENTHOOK hook =
        ::SetWinEventHook(kEventLiveRegionChanged, kEventLiveRegionChanged, nullptr, &OnWinEvent,
                          ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    struct Case {
        BOOL alerts;
        ReaderOutcome reader;
        std::size_t events;
    } const cases[] = {
        {FALSE, ReaderOutcome::Taken, 1},      // alerts off: the reader hears the live region
        {TRUE, ReaderOutcome::Taken, 0},       // the reader said it already
        {TRUE, ReaderOutcome::Failed, 1},      // refused: the voice and the live region
        {TRUE, ReaderOutcome::NoneRunning, 1}, // any other reader hears the live region
    };
    for (const Case& c : cases) {
        StandInReader::s_outcome = c.reader;
        g_liveRegionEvents.clear();
        CTextSpeaker speaker;
        speaker.Start();
        speaker.SpeakText(L"Mouse Buttons Disabled", c.alerts, edit);
        ASSERT_TRUE(speaker.WaitUntilHandedOn(10000));
        // Events come through this thread's queue; a missing one is waited for a moment.
        for (int i = 0; i < 50 && g_liveRegionEvents.size() < c.events + 1; ++i) {
            MSG message;
            while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                ::DispatchMessageW(&message);
            }
            ::Sleep(10);
        }
        EXPECT_EQ(g_liveRegionEvents, std::vector<HWND>(c.events, edit))
            << "alerts " << c.alerts << ", reader " << static_cast<int>(c.reader);
    }
    ::UnhookWinEvent(hook);
    ::DestroyWindow(edit);
}

} // namespace
