// Alerts are message boxes, owned by no window, as the library always showed
// them.
#include <windows.h>

#include <string>

#include "platform/Alert.h"

namespace quorvel::platform {

void ShowAlert(std::string_view text, std::string_view caption, AlertIcon icon) {
  const UINT style = icon == AlertIcon::Stop      ? MB_ICONSTOP
                     : icon == AlertIcon::Warning ? MB_ICONWARNING
                                                  : MB_ICONINFORMATION;
  ::MessageBoxA(nullptr, std::string(text).c_str(), std::string(caption).c_str(),
                MB_OK | MB_TASKMODAL | style);
}

}  // namespace quorvel::platform
