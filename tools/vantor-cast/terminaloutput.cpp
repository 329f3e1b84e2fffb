#include "tools/vantor-cast/terminaloutput.h"

#include <QLoggingCategory>
#include <QtGlobal>

extern "C" {
#include <libavutil/log.h>
}

namespace terminaloutput {

bool takeVerboseFlag(QStringList& arguments)
{
    return arguments.removeAll(QStringLiteral("--verbose")) > 0;
}

void apply(bool verbose)
{
    if (verbose) {
        av_log_set_level(AV_LOG_INFO);
        return;
    }
    av_log_set_level(AV_LOG_WARNING);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
    qSetMessagePattern(QStringLiteral("vantor-cast: %{message}"));
}

}  // namespace terminaloutput
