#pragma once
#include <string>

// Whether a Content-Type names an HTML page ("text/html", in any case, with
// or without parameters such as a charset). A package is never one: such a
// reply is a captive portal's sign-in page or a server's error page, even
// when its status is 200.
[[nodiscard]] bool IsHtmlContentType(const std::string& contentType);
