// The names a layout document is written in: its elements, attributes and align values. Every
// reading of a layout spells them from here.
#pragma once

#include <string_view>

namespace vantu::branding_package::vocabulary {

// Elements, top down.
constexpr std::string_view kTop = "vantu-client-branding";
constexpr std::string_view kAppName = "app-name";
constexpr std::string_view kAppIcon = "app-icon";
constexpr std::string_view kToolbarMenu = "toolbar-menu";
constexpr std::string_view kAboutItem = "about-item";
constexpr std::string_view kQuitItem = "quit-item";
constexpr std::string_view kAbout = "about";
constexpr std::string_view kLine = "line";
constexpr std::string_view kLogo = "logo";
constexpr std::string_view kText = "text";
constexpr std::string_view kHyperlink = "hyperlink";

// Attributes: about's title and minWidth, line's align, hyperlink's url.
constexpr std::string_view kTitle = "title";
constexpr std::string_view kMinWidth = "minWidth";
constexpr std::string_view kAlign = "align";
constexpr std::string_view kUrl = "url";

// The values of align; a line without one is drawn left.
constexpr std::string_view kLeft = "left";
constexpr std::string_view kCenter = "center";
constexpr std::string_view kRight = "right";

}  // namespace vantu::branding_package::vocabulary
