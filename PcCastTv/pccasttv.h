// The PC-to-TV view of the main window (page `pcCastTv`). The receiver list, the
// cast-code field and the content choice are added to this page by the casting
// pages; until then it is the empty white page under the separator line.
#pragma once

#include <QWidget>

class PcCastTv : public QWidget {
    Q_OBJECT
public:
    explicit PcCastTv(QWidget* parent = nullptr);
};
