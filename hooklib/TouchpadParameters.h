// The system's precision touchpad settings as SystemParametersInfoW reads and writes them
// (Windows 11, version 24H2 and later). The MinGW headers lack them, so they are declared here
// from Microsoft's documentation of TOUCHPAD_PARAMETERS and SystemParametersInfoW.
// Platform-free, so that the layout is checked natively as well as in the Windows build; the
// hook library and the program's adapter both read the touchpad's state through it.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t kSpiGetTouchpadParameters = 0x00AE; // SPI_GETTOUCHPADPARAMETERS
inline constexpr std::uint32_t kSpiSetTouchpadParameters = 0x00AF; // SPI_SETTOUCHPADPARAMETERS
inline constexpr std::uint32_t kTouchpadParametersVersion1 = 1;    // TOUCHPAD_PARAMETERS_VERSION_1

// TOUCHPAD_PARAMETERS, version 1. The documentation declares the flags as BOOL bit fields of
// one bit; they are unsigned here, so that a set flag reads as 1 rather than -1. Both kinds of
// field share the 32-bit unit they are packed into, so the layout is the documented one: the
// first group in the word at offset 12, the second in the word at offset 16, each from bit 0.
struct TouchpadParameters {
    std::uint32_t versionNumber;
    std::uint32_t maxSupportedContacts;
    std::uint32_t legacyTouchpadFeatures; // LEGACY_TOUCHPAD_FEATURES
    // What the system reports; ignored when the structure is written.
    std::uint32_t touchpadPresent : 1;
    std::uint32_t legacyTouchpadPresent : 1;
    std::uint32_t externalMousePresent : 1;
    std::uint32_t touchpadEnabled : 1;
    std::uint32_t touchpadActive : 1;
    std::uint32_t feedbackSupported : 1;
    std::uint32_t clickForceSupported : 1;
    std::uint32_t Reserved1 : 25;
    // The user's settings.
    std::uint32_t allowActiveWhenMousePresent : 1;
    std::uint32_t feedbackEnabled : 1;
    std::uint32_t tapEnabled : 1;
    std::uint32_t tapAndDragEnabled : 1;
    std::uint32_t twoFingerTapEnabled : 1;
    std::uint32_t rightClickZoneEnabled : 1;
    std::uint32_t mouseAccelSettingHonored : 1;
    std::uint32_t panEnabled : 1;
    std::uint32_t zoomEnabled : 1;
    std::uint32_t scrollDirectionReversed : 1;
    std::uint32_t Reserved2 : 22;
    std::uint32_t sensitivityLevel; // TOUCHPAD_SENSITIVITY_LEVEL
    std::uint32_t cursorSpeed;
    std::uint32_t feedbackIntensity;
    std::uint32_t clickForceSensitivity;
    std::uint32_t rightClickZoneWidth;
    std::uint32_t rightClickZoneHeight;
};

static_assert(sizeof(TouchpadParameters) == 44, "TOUCHPAD_PARAMETERS is 44 bytes");
static_assert(offsetof(TouchpadParameters, legacyTouchpadFeatures) == 8);
static_assert(offsetof(TouchpadParameters, sensitivityLevel) == 20);
static_assert(offsetof(TouchpadParameters, rightClickZoneHeight) == 40);

// The documented bit of touchpadEnabled in the word at offset 12 (touchpadPresent is bit 0).
inline constexpr std::size_t kTouchpadFlagsOffset = 12;
inline constexpr std::uint32_t kTouchpadPresentBit = 1u << 0;
inline constexpr std::uint32_t kTouchpadEnabledBit = 1u << 3;
