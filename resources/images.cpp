#include "resources/images.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
void initVantorImages() { Q_INIT_RESOURCE(vantor_images); }
