#include "PcCastTv/pccasttv.h"

PcCastTv::PcCastTv(QWidget* parent) : QWidget(parent) {}
