// The check of one address, from its text to the four results, written once for every
// host: the main window, the command-line tool and the tests.
#pragma once

#include <string>

#include "geo/geo.h"
#include "nets/net_checker.h"
#include "resolve/resolver.h"

namespace netsorter {

enum class ResultBox { txtDomain, txtIP, txtTraffic, txtCountry };

inline constexpr const char* kChecking = "<проверка...>";
inline constexpr const char* kNotChecked = "<не проверялось ...>";
inline constexpr const char* kNoDomain = "<Доменное имя отсутсвует>";
inline constexpr const char* kWrongIp = "<неправильный IP>";
inline constexpr const char* kNoIp = "<IP-адрес отсутсвует>";
inline constexpr const char* kNoCountryForNoIp = "<страна не определена>";
inline constexpr const char* kCountryUnknown = "<не удалось определить страну>";

// What a check needs from the program that hosts it. The boxes are the record of the result:
// whoever needs the result later reads it back from them.
class CheckHost {
  public:
    virtual ~CheckHost() = default;

    virtual std::string addressText() = 0;
    virtual void setAddressText(const std::string& text) = 0;
    virtual std::string resultText(ResultBox box) = 0;
    virtual void setResultText(ResultBox box, const std::string& text) = 0;

    virtual bool stayHidden() = 0;
    virtual void setStayHidden(bool on) = 0;
    // The mark of "Всегда впереди".
    virtual bool alwaysOnTop() = 0;
    // "Свернуть в трей": hides the window into the tray; leaves stayHidden alone.
    virtual void sendToTray() = 0;
    virtual void doEvents() = 0;
    // Loads the reference data unless they are loaded already.
    virtual void loadingStep() = 0;
    virtual void showTrayBalloon(const std::string& text, const std::string& title) = 0;
    virtual void restartTimer1() = 0;

    virtual clsNetChecker& netChecker() = 0;
    virtual clsGeo& geo() = 0;
    virtual NameResolver& resolver() = 0;
};

// The country text of a description "f1<TAB>f2<TAB>f3<TAB>...": "f3 (f1)" with four fields
// or more, else f1.
std::string countryText(const std::string& description);

// Checks url (or, when it is empty, the text already in the address box). FromIE is true
// for requests from outside the window: the browser menu and the clipboard.
void checkUrl(CheckHost& host, const std::string& url, bool FromIE);

}  // namespace netsorter
