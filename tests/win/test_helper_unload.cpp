// Unloading Helper.dll removes whatever hooks it still has in force. This program loads the
// library itself: an import would pin it in the process and FreeLibrary would unload nothing.
#include "HookHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using hooktest::HookThread;
using hooktest::Probe;
using hooktest::ProbeResult;
using hooktest::UniqueLibrary;

using Names = std::vector<std::string>;
using MouseExport = int (*)(WORD, DWORD&, BOOL);
using KeyboardExport = int (*)(BOOL, BOOL);

const Names kNone{};
const Names kEveryFiltered{"move",     "left down",   "left up",   "right down",
                           "right up", "middle down", "middle up", "wheel"};

// GetProcAddress hands back a generic function pointer; going through void (*)() keeps the
// compiler from warning about the cast to the real signature.
template <class Function> Function Export(HMODULE module, const char* decoratedName) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, decoratedName)));
}

class HelperUnload : public ::testing::Test {
protected:
    void TearDown() override {
        // Unload on the thread that installed the hooks, as the program does at its end.
        hooks_.Run([this] { library_.Reset(); });
    }

    // Loads the library on the hook thread and binds both exports by their decorated names.
    void Load() {
        const DWORD error = hooks_.Run([this] {
            library_.Reset(LoadLibraryW(L"Helper.dll"));
            return library_ ? DWORD{ERROR_SUCCESS} : GetLastError();
        });
        ASSERT_TRUE(library_) << "LoadLibraryW: error " << error;
        disableMouse_ = Export<MouseExport>(library_.Get(), "_Z18GlobalDisableMousetRmi");
        disableKeyboard_ = Export<KeyboardExport>(library_.Get(), "_Z21GlobalDisableKeyboardii");
        ASSERT_NE(disableMouse_, nullptr);
        ASSERT_NE(disableKeyboard_, nullptr);
    }

    void Unload() {
        const BOOL freed = hooks_.Run([this] { return FreeLibrary(library_.Release()); });
        ASSERT_TRUE(freed);
        ASSERT_EQ(GetModuleHandleW(L"Helper.dll"), nullptr) << "Helper.dll is still loaded";
        // Its hook thread ends by itself once the loader lets it.
        const auto deadline = std::chrono::steady_clock::now() + hooktest::kDeadline;
        while (hooktest::HelperHookThread() != 0 && std::chrono::steady_clock::now() < deadline) {
            Sleep(10);
        }
        ASSERT_EQ(hooktest::HelperHookThread(), 0u) << "the hook thread outlived the library";
    }

    int DisableMouse(WORD filter, BOOL allowInjected) {
        return hooks_.Run([=, this] {
            DWORD error = 0;
            return disableMouse_(filter, error, allowInjected);
        });
    }

    int DisableKeyboard(BOOL disable, BOOL allowInjected) {
        return hooks_.Run([=, this] { return disableKeyboard_(disable, allowInjected); });
    }

    HookThread hooks_;
    UniqueLibrary library_;
    MouseExport disableMouse_ = nullptr;
    KeyboardExport disableKeyboard_ = nullptr;
};

TEST_F(HelperUnload, FreeLibraryRemovesEveryHookInForce) {
    const ProbeResult bare = Probe(hooks_);
    ASSERT_EQ(bare.discardedMouse, kNone);
    ASSERT_EQ(bare.discardedKeys, kNone);

    struct Case {
        WORD filter;
        BOOL keyboard;
    };
    for (const Case c : {Case{0x1F, TRUE}, Case{0x1F, FALSE}, Case{0, TRUE}, Case{0x20, TRUE}}) {
        SCOPED_TRACE(testing::Message()
                     << "filter 0x" << std::hex << c.filter << " keyboard " << c.keyboard);
        ASSERT_NO_FATAL_FAILURE(Load());
        ASSERT_EQ(DisableMouse(c.filter, FALSE), 1);
        ASSERT_EQ(DisableKeyboard(c.keyboard, FALSE), 1);
        const ProbeResult loaded = Probe(hooks_);
        EXPECT_EQ(loaded.discardedMouse, c.filter == 0x1F ? kEveryFiltered : kNone);
        EXPECT_EQ(loaded.discardedKeys, c.keyboard ? hooktest::AllKeyKindNames() : kNone);

        ASSERT_NO_FATAL_FAILURE(Unload());
        const ProbeResult unloaded = Probe(hooks_);
        EXPECT_EQ(unloaded.discardedMouse, kNone);
        EXPECT_EQ(unloaded.discardedKeys, kNone);
        // Not even a hook that passes everything is left in front of the recorder.
        EXPECT_EQ(unloaded.markerDepth, bare.markerDepth);
        EXPECT_EQ(unloaded.keyDepth, bare.keyDepth);
    }
}

TEST_F(HelperUnload, ReloadedLibraryStartsWithoutHooksAndWorks) {
    const ProbeResult bare = Probe(hooks_);
    ASSERT_NO_FATAL_FAILURE(Load());
    ASSERT_EQ(DisableMouse(0xFFFF, TRUE), 1);
    ASSERT_EQ(DisableKeyboard(TRUE, TRUE), 1);
    ASSERT_NO_FATAL_FAILURE(Unload());

    ASSERT_NO_FATAL_FAILURE(Load());
    const ProbeResult fresh = Probe(hooks_);
    EXPECT_EQ(fresh.discardedMouse, kNone);
    EXPECT_EQ(fresh.discardedKeys, kNone);
    EXPECT_EQ(fresh.markerDepth, bare.markerDepth);

    // The reloaded library blocks as before.
    ASSERT_EQ(DisableMouse(0x1F, FALSE), 1);
    ASSERT_EQ(DisableKeyboard(TRUE, FALSE), 1);
    const ProbeResult blocking = Probe(hooks_);
    EXPECT_EQ(blocking.discardedMouse, kEveryFiltered);
    EXPECT_EQ(blocking.discardedKeys, hooktest::AllKeyKindNames());
}

} // namespace
