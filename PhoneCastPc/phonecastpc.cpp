#include "PhoneCastPc/phonecastpc.h"

PhoneCastPc::PhoneCastPc(QWidget* parent) : QWidget(parent) {}
