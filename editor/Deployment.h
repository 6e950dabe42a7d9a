#pragma once
// Where the editor sends its users: the maker's web site (the logo link) and the support
// address (the support button). These are set for each release channel here and nowhere else.

namespace coral {

inline constexpr const char* kMakerName = "KESTRILAB";
inline constexpr const char* kMakerWebDomain = "kestrilab.example";
inline constexpr const char* kMakerWebPage = "https://kestrilab.example";
inline constexpr const char* kSupportEmail = "support@kestrilab.example";

} // namespace coral
