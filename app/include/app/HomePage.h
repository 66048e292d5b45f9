// The start-up's occasional visit to the product's home page: about one
// start in a hundred opens it in the web browser.
#pragma once

#include <QUrl>
#include <functional>

namespace lentaro {

class UiHost;

inline constexpr int kHomePageDraw = 7;
QUrl homePageUrl();

// The whole number 1..100 that a draw in [0, 1) gives.
int homePageNumber(double unitDraw);

// Draws once; opens the home page through the host when the number is 7.
// Returns whether it opened. Throws lentaro::Failure when the browser
// cannot be started, for the start-up's error report.
bool MaybeOpenHomePage(UiHost& ui, const std::function<double()>& randomUnit);

// A draw source seeded from the time of day.
std::function<double()> timeSeededRandomUnit();

}  // namespace lentaro
