// The application object's profile functions against the real (Wine) registry, including
// values that another program or a damaged profile could have left behind.
#include "afxwin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

constexpr const wchar_t* kRoot = L"Software\\QuelvantProfileTest";

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
        app.m_strAppName = L"App";
        app.SetRegistryKey(L"QuelvantProfileTest");
    }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }

    // Writes a raw value next to the ones the profile functions write.
    void PutRaw(const wchar_t* entry, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QuelvantProfileTest\\App\\S", 0,
                                    nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(key, entry, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }

    CWinApp app;
};

TEST_F(ProfileTest, RoundTripsIntegersAndStrings) {
    EXPECT_TRUE(app.WriteProfileInt(L"S", L"a", 7));
    EXPECT_TRUE(app.WriteProfileInt(L"S", L"neg", -1));
    EXPECT_TRUE(app.WriteProfileString(L"S", L"s", L"Ctrl + \u00e9"));
    EXPECT_EQ(app.GetProfileInt(L"S", L"a", 99), 7u);
    EXPECT_EQ(app.GetProfileInt(L"S", L"neg", 0), 0xFFFFFFFFu);
    EXPECT_EQ(app.GetProfileString(L"S", L"s"), L"Ctrl + \u00e9");

    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\QuelvantProfileTest\\App\\S", 0,
                              KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(::RegQueryValueExW(key, L"a", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(::RegQueryValueExW(key, L"s", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, (8u + 1u) * 2u); // stored with its NUL
    ::RegCloseKey(key);
}

TEST_F(ProfileTest, MissingSectionOrValueGivesTheDefault) {
    EXPECT_EQ(app.GetProfileInt(L"Nothing", L"a", 1), 1u);
    EXPECT_EQ(app.GetProfileInt(L"Nothing", L"a", -5), static_cast<UINT>(-5));
    EXPECT_EQ(app.GetProfileString(L"Nothing", L"s"), L"");
    EXPECT_EQ(app.GetProfileString(L"Nothing", L"s", L"dflt"), L"dflt");
    app.WriteProfileInt(L"S", L"other", 3);
    EXPECT_EQ(app.GetProfileInt(L"S", L"a", 42), 42u);
}

TEST_F(ProfileTest, ValuesOfTheWrongTypeOrSizeReadAsTheDefault) {
    const wchar_t text[] = L"12";
    PutRaw(L"str", REG_SZ, text, sizeof(text));
    EXPECT_EQ(app.GetProfileInt(L"S", L"str", 5), 5u);

    const DWORD number = 12;
    PutRaw(L"num", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(app.GetProfileString(L"S", L"num", L"d"), L"d");
    EXPECT_EQ(app.GetProfileString(L"S", L"num"), L"");

    const BYTE binary[4] = {1, 0, 0, 0};
    PutRaw(L"bin", REG_BINARY, binary, sizeof(binary));
    EXPECT_EQ(app.GetProfileInt(L"S", L"bin", 9), 9u);
    EXPECT_EQ(app.GetProfileString(L"S", L"bin", L"d"), L"d");

    const unsigned long long wide = 1;
    PutRaw(L"qword", REG_QWORD, &wide, sizeof(wide));
    EXPECT_EQ(app.GetProfileInt(L"S", L"qword", 4), 4u);

    // A DWORD of the wrong size: too short and too long.
    const BYTE two[2] = {1, 0};
    PutRaw(L"short", REG_DWORD, two, sizeof(two));
    EXPECT_EQ(app.GetProfileInt(L"S", L"short", 8), 8u);
    const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    PutRaw(L"long", REG_DWORD, eight, sizeof(eight));
    EXPECT_EQ(app.GetProfileInt(L"S", L"long", 8), 8u);
    PutRaw(L"empty", REG_DWORD, nullptr, 0);
    EXPECT_EQ(app.GetProfileInt(L"S", L"empty", 6), 6u);

    const wchar_t expand[] = L"%TEMP%";
    PutRaw(L"expand", REG_EXPAND_SZ, expand, sizeof(expand));
    EXPECT_EQ(app.GetProfileString(L"S", L"expand", L"d"), L"d");
}

TEST_F(ProfileTest, StringsOfAnyLengthAndShapeAreReadWhole) {
    EXPECT_TRUE(app.WriteProfileString(L"S", L"empty", L""));
    EXPECT_EQ(app.GetProfileString(L"S", L"empty", L"d"), L""); // stored, not deleted

    std::wstring huge(70000, L'x');
    for (size_t i = 0; i < huge.size(); i += 997) {
        huge[i] = static_cast<wchar_t>(L'a' + i % 26);
    }
    EXPECT_TRUE(app.WriteProfileString(L"S", L"huge", huge.c_str()));
    EXPECT_EQ(app.GetProfileString(L"S", L"huge"), huge);

    // Written by someone else without the closing NUL, and with an odd byte count.
    const wchar_t noNul[] = {L'a', L'b', L'c'};
    PutRaw(L"nonul", REG_SZ, noNul, sizeof(noNul));
    EXPECT_EQ(app.GetProfileString(L"S", L"nonul"), L"abc");
    const BYTE odd[] = {'a', 0, 'b', 0, 'c'};
    PutRaw(L"odd", REG_SZ, odd, sizeof(odd));
    EXPECT_EQ(app.GetProfileString(L"S", L"odd"), L"ab");
    PutRaw(L"zero", REG_SZ, nullptr, 0);
    EXPECT_EQ(app.GetProfileString(L"S", L"zero", L"d"), L"");
    const wchar_t inner[] = L"ab\0cd";
    PutRaw(L"inner", REG_SZ, inner, sizeof(inner));
    EXPECT_EQ(app.GetProfileString(L"S", L"inner"), L"ab");
}

TEST_F(ProfileTest, SectionKeyReplacedByAValueStillReadsDefaultsAndWritesClean) {
    // A value named like the section sits where the key would be: keys and values do not
    // clash, so the section is created beside it.
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QuelvantProfileTest\\App", 0,
                                nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    ::RegSetValueExW(key, L"S", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    ::RegCloseKey(key);
    EXPECT_EQ(app.GetProfileInt(L"S", L"a", 3), 3u);
    EXPECT_TRUE(app.WriteProfileInt(L"S", L"a", 4));
    EXPECT_EQ(app.GetProfileInt(L"S", L"a", 3), 4u);
}

// A value of the wrong type is written over in its own type in one step: a process killed at
// any moment leaves either the old value or the new, never none. A reader on another thread
// looks all the while.
TEST_F(ProfileTest, AValueOfTheWrongTypeIsReplacedWithoutEverBeingMissing) {
    struct Watch {
        std::atomic<bool> stop = false;
        std::atomic<int> missing = 0;
        static DWORD WINAPI Run(void* parameter) {
            auto& watch = *static_cast<Watch*>(parameter);
            while (!watch.stop) {
                if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\QuelvantProfileTest\\App\\S",
                                   L"v", RRF_RT_ANY, nullptr, nullptr,
                                   nullptr) == ERROR_FILE_NOT_FOUND) {
                    ++watch.missing;
                }
            }
            return 0;
        }
    } watch;
    EXPECT_TRUE(app.WriteProfileString(L"S", L"s", L"1"));
    EXPECT_TRUE(app.WriteProfileInt(L"S", L"v", 0));
    const HANDLE reader = ::CreateThread(nullptr, 0, &Watch::Run, &watch, 0, nullptr);
    ASSERT_NE(reader, nullptr);
    for (int i = 0; i < 300; ++i) {
        PutRaw(L"v", REG_SZ, L"1", sizeof(L"1"));
        EXPECT_TRUE(app.WriteProfileInt(L"S", L"v", i));
        PutRaw(L"s", REG_DWORD, &i, sizeof i);
        EXPECT_TRUE(app.WriteProfileString(L"S", L"s", L"x"));
    }
    watch.stop = true;
    ::WaitForSingleObject(reader, INFINITE);
    ::CloseHandle(reader);
    EXPECT_EQ(watch.missing, 0);
    EXPECT_EQ(app.GetProfileInt(L"S", L"v", 7), 299u);
    EXPECT_EQ(app.GetProfileString(L"S", L"s", L""), L"x");
}

// Through a pass the section's key stays open; a reset by other means deletes it meanwhile.
TEST_F(ProfileTest, AKeyDeletedBehindItsBackIsOpenedAnew) {
    app.HoldProfileKey();
    EXPECT_TRUE(app.WriteProfileInt(L"S", L"a", 5));
    EXPECT_EQ(app.GetProfileInt(L"S", L"a", 0), 5u);
    ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, kRoot), ERROR_SUCCESS);
    EXPECT_EQ(app.GetProfileInt(L"S", L"a", 9), 9u);
    EXPECT_TRUE(app.WriteProfileInt(L"S", L"a", 6));
    ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, kRoot), ERROR_SUCCESS);
    EXPECT_TRUE(app.WriteProfileString(L"S", L"s", L"back"));
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"Software\\QuelvantProfileTest\\App\\S", L"s",
                             RRF_RT_REG_SZ, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(app.GetProfileInt(L"S", L"a", 8), 8u);
    app.ReleaseProfileKey();
}

TEST(ProfileWithoutRegistryKey, ReadsDefaultsAndWritesNothing) {
    CWinApp app;
    app.m_strAppName = L"App";
    EXPECT_EQ(app.GetProfileInt(L"S", L"a", 11), 11u);
    EXPECT_FALSE(app.WriteProfileInt(L"S", L"a", 1));
    EXPECT_FALSE(app.WriteProfileString(L"S", L"s", L"x"));
    EXPECT_EQ(app.GetProfileString(L"S", L"s", L"d"), L"d");
}

} // namespace
