#include "browser_host/manifest.h"

#include "common/json.h"

namespace netsorter::browser_host {

std::string hostManifest(BrowserFamily family, const std::string& hostPath) {
    const std::string allowed =
        family == BrowserFamily::Chromium
            ? "  \"allowed_origins\": [" +
                  jsonString(std::string("chrome-extension://") + kChromiumExtensionId + "/") +
                  "]\n"
            : "  \"allowed_extensions\": [" + jsonString(kFirefoxExtensionId) + "]\n";
    return std::string("{\n") + "  \"name\": " + jsonString(kHostName) + ",\n" +
           "  \"description\": \"Netsorter: «Проверить IP» в меню браузера\",\n" +
           "  \"path\": " + jsonString(hostPath) + ",\n" + "  \"type\": \"stdio\",\n" + allowed +
           "}\n";
}

}  // namespace netsorter::browser_host
