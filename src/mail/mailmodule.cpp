// The mail module's entry points: libcurl and GMime come in with it, on the
// first mail call, instead of at start-up.
#include "mail/curlmailservice.h"
#include "shell/version.h"

extern "C" Q_DECL_EXPORT const char *wezModuleVersion()
{
    return WEZ_VERSION;
}

extern "C" Q_DECL_EXPORT MailService *wezCreateMailService(const MailOptions &options)
{
    return new CurlMailService(options);
}
