#include "Comm/logging.h"

#include <QtGlobal>

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

    qSetMessagePattern("%{time yyyy-MM-dd hh:mm:ss.zzz} %{type} %{file}:%{line} %{function}: %{message}");
}

}  // namespace vantor
