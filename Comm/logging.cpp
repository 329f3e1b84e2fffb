#include "Comm/logging.h"

// The Qt-free build (Windows cross build) has no Qt debug output to configure.
#ifdef QT_CORE_LIB
#include <QtGlobal>
#endif

INITIALIZE_EASYLOGGINGPP

namespace vantor {

void initLogging(bool alsoToStandardOutput)
{
    el::Configurations conf;
    conf.setToDefault();
    conf.setGlobally(el::ConfigurationType::Format,
                     "%datetime %level [%logger] %fbase:%line %func: %msg");
    conf.setGlobally(el::ConfigurationType::ToStandardOutput,
                     alsoToStandardOutput ? "true" : "false");
    el::Loggers::reconfigureLogger("default", conf);

#ifdef QT_CORE_LIB
    qSetMessagePattern(
        "%{time yyyy-MM-dd hh:mm:ss.zzz} %{type} %{file}:%{line} %{function}: %{message}");
#endif
}

}  // namespace vantor
