// Keys of cfg.ini; the integer values stored under them are row indices of the
// settings page's controls, never physical values.
#pragma once

namespace vantor::configkey {

inline constexpr char kLanguage[] = "appCfg/language";
inline constexpr char kAutoRecord[] = "recordCfg/autoRecord";
inline constexpr char kFileSavePath[] = "recordCfg/fileSavePath";
inline constexpr char kRecordQuality[] = "recordCfg/recordQuality";
inline constexpr char kAudioSource[] = "recordCfg/audioSource";
inline constexpr char kCastMode[] = "castCfg/castMode";
inline constexpr char kBitRate[] = "castCfg/bitRate";
inline constexpr char kFrameRate[] = "castCfg/frameRate";
inline constexpr char kResolution[] = "castCfg/resolution";

}  // namespace vantor::configkey
