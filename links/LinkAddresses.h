#pragma once

#include <QLatin1StringView>

// The maker's web pages that the window's links open.
namespace LinkAddresses {

inline constexpr QLatin1StringView softwarePage("http://soft.orbanet.example/");
inline constexpr QLatin1StringView filmTvPage("http://tv.orbanet.example/");
inline constexpr QLatin1StringView homePage("http://www.orbanet.example/");
inline constexpr QLatin1StringView ringtonesPage("http://www.orbanet.example/tl.htm");

} // namespace LinkAddresses
