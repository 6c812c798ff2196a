// The policy keys' watch against the real (Wine) registry: a value written by hand is one
// notice and then quiet, and a key deleted whole is noticed, at both roots.
#include "RegistryPolicy.h"
#include "SettingsPolicy.h"

#include "Handle.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {

using quelvant::adapters::RegistryPolicy;

// Every opening of the policy key by this program, counted at its import of RegOpenKeyExW: a
// watch re-armed on the same key opens nothing.
std::atomic<int> g_policyKeyOpens{0};
decltype(&::RegOpenKeyExW) g_realOpen = nullptr;

LSTATUS WINAPI CountingOpen(HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY key) {
    if (path != nullptr && ::lstrcmpiW(path, quelvant::core::kPolicyKey) == 0) {
        ++g_policyKeyOpens;
    }
    return g_realOpen(root, path, options, access, key);
}

void CountPolicyKeyOpens() {
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* dll =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         dll->Name != 0; ++dll) {
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(name->Name), "RegOpenKeyExW") != 0) {
                continue;
            }
            DWORD old = 0;
            ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            g_realOpen = reinterpret_cast<decltype(g_realOpen)>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(&CountingOpen);
            ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
        }
    }
}

constexpr DWORD kWithinMs = 2000;

class PolicyWatchTest : public ::testing::TestWithParam<HKEY> {
protected:
    static void SetUpTestSuite() { CountPolicyKeyOpens(); }
    void SetUp() override {
        ASSERT_NE(g_realOpen, nullptr) << "RegOpenKeyExW not imported";
        DeleteBoth();
        noticed.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
        ASSERT_TRUE(noticed);
    }
    void TearDown() override {
        RegistryPolicy().StopWatching();
        DeleteBoth();
    }

    static void DeleteBoth() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            ::RegDeleteTreeW(root, quelvant::core::kPolicyKey);
        }
    }
    static void Write(HKEY root, const wchar_t* name, DWORD value) {
        UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(root, quelvant::core::kPolicyKey, 0, nullptr, 0, KEY_WRITE,
                                    nullptr, key.Put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key.Get(), name, 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&value), sizeof value),
                  ERROR_SUCCESS);
    }
    static void Noted(void* context) {
        auto* test = static_cast<PolicyWatchTest*>(context);
        ++test->notices;
        ::SetEvent(test->noticed.Get());
    }
    void Watch() { RegistryPolicy().Watch(&Noted, this); }
    bool NoticeWithin(DWORD ms) const {
        return ::WaitForSingleObject(noticed.Get(), ms) == WAIT_OBJECT_0;
    }

    std::atomic<int> notices{0};
    UniqueKernelHandle noticed;
};

// Both keys exist, so each is watched itself: re-arming one must not disturb the other.
TEST_P(PolicyWatchTest, AValueWrittenByHandIsOneNoticeThenQuiet) {
    Write(HKEY_LOCAL_MACHINE, L"m_bCheckDisableLeftClick", 1);
    Write(HKEY_CURRENT_USER, L"m_bCheckDisableLeftClick", 1);
    Watch();
    const int opens = g_policyKeyOpens;
    Write(GetParam(), L"m_bCheckDisableRightClick", 1);
    ASSERT_TRUE(NoticeWithin(kWithinMs));
    EXPECT_FALSE(NoticeWithin(kWithinMs)) << "a notice without a change";
    EXPECT_EQ(notices.load(), 1);
    // Closing a key with a watch pending signals its event: the same keys are armed again.
    EXPECT_EQ(g_policyKeyOpens - opens, 0);
    // Still watched after the re-arm.
    Write(GetParam(), L"m_bCheckDisableRightClick", 0);
    EXPECT_TRUE(NoticeWithin(kWithinMs));
}

// As "reg delete ... /f" or an unlinked Group Policy object does: the key goes with its values.
TEST_P(PolicyWatchTest, AKeyDeletedWholeIsNoticedAndItsSuccessorWatched) {
    Write(GetParam(), L"m_bCheckDisableLeftClick", 1);
    Watch();
    {
        UniqueRegKey policies;
        ASSERT_EQ(
            ::RegOpenKeyExW(GetParam(), L"Software\\Policies", 0, KEY_ALL_ACCESS, policies.Put()),
            ERROR_SUCCESS);
        ASSERT_EQ(::RegDeleteTreeW(policies.Get(), L"Quelvant"), ERROR_SUCCESS);
    }
    ASSERT_TRUE(NoticeWithin(kWithinMs));
    while (NoticeWithin(500)) {
    }
    Write(GetParam(), L"m_bCheckDisableLeftClick", 1);
    ASSERT_TRUE(NoticeWithin(kWithinMs)) << "the key made again";
    while (NoticeWithin(500)) {
    }
    Write(GetParam(), L"m_bCheckDisableLeftClick", 0);
    EXPECT_TRUE(NoticeWithin(kWithinMs)) << "a value in the new key";
}

INSTANTIATE_TEST_SUITE_P(Roots, PolicyWatchTest,
                         ::testing::Values(HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER),
                         [](const auto& info) {
                             return info.param == HKEY_LOCAL_MACHINE ? "Machine" : "User";
                         });

} // namespace
