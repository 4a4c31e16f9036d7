#pragma once
// Reads verup.dat's MODE, AREA and VERUP sections into Config, and the settings layout
// sections, in the order and with the value kinds the start-up has always used.
#include <cstddef>
#include <string>
#include <string_view>

#include "package/Config.h"
#include "platform/ProfileFile.h"

namespace verup {

// GetPrivateProfileStringA buffer for hex, real and name texts.
inline constexpr std::size_t kProfileTextBuffer = 260;
// Version texts (NUM, and every cut of a device version) are at most this long.
inline constexpr int kMaxVersionTextLength = 30;
inline constexpr int kMaxFpgaParams = 17;

// Example of what it reads:
//   [MODE]
//   DEBUG=0
//   SEL=2
//   [AREA]
//   PROG_RAM_STR_ADR=0x00010000
//   [VERUP]
//   NAME1=NEXAVO7300QB
//   NUM=Version 1.20
//   NUM_LEN=12
//   FP_LEN=2
//   FP00=1
//   FP10=-3
// Both read the file once (a file over kMaxProfileFileBytes reads as absent: all defaults),
// the settings layout sections included.
void ReadConfig(const ProfileFile& file, Config& cfg);
void ReadConfig(const ProfileSnapshot& file, Config& cfg);

// A layout section: NUM blocks, keys "1" ... NUM the items of each block. Counts beyond
// SettingsTable's 128 blocks or 1024 items are capped (Capped is set); negatives read as 0.
SettingsLayoutTable ReadSettingsLayout(const ProfileFile& file, std::string_view section);
SettingsLayoutTable ReadSettingsLayout(const ProfileSnapshot& file, std::string_view section);

// `text` cut after `length` characters (a shorter text whole; a negative length gives "").
std::string CutText(std::string_view text, int length);

// The derived texts: NAME1 + ideographic space + NAME2, and that + ideographic space + "Ver 1.01".
std::string MakeTitleText(const Config& cfg);
std::string MakeTitleVersionText(const std::string& title_text);
// A settings layout as a technician reads it: "2 blocks, items per block: 10 12".
std::string LayoutText(const SettingsLayoutTable& table);

}  // namespace verup
