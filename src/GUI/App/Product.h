#pragma once

// The texts by which the program names itself; none of them is translated.
inline constexpr const char* ProductTitle = "Tarrowin";
inline constexpr const char* ProductVersion = TARROWIN_VERSION;
inline constexpr const char* MainWindowCaption = "Pembrid Tarrowin";
// Opened by Help and by the other windows' help links.
inline constexpr const char* ProductWebPage = "https://tarrowin.pembrid.example/";
