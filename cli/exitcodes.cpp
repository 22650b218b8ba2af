// Read-back codes mapped to exit statuses.
#include "exitcodes.h"

namespace cli {

int exitForVerify(int code)
{
    switch (code) {
    case 0:
        return ExitOk;
    case 1:
        return 1;
    case 2:
        return ExitUsage;
    case 3:
        return ExitChipNotFound;
    case 4:
        return ExitVerifyMismatch;
    case 5:
        return ExitChipProtected;
    case 6:
        return ExitWrongChip;
    default:
        return ExitReadError;
    }
}

int exitForReadBack(int code)
{
    switch (code) {
    case 0:
        return ExitOk;
    case 1:
        return ExitUsage; // no chip model chosen
    case 2:
        return ExitChipNotFound;
    case 3:
        return ExitChipProtected;
    case 5:
        return ExitWrongChip;
    case -1:
        return ExitTransport;
    default:
        return ExitReadError;
    }
}

int exitForSwd(int code)
{
    return code == 0 ? int(ExitOk) : ExitSwdBase + code;
}

} // namespace cli
