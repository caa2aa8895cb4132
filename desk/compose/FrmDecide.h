#pragma once

#include <QWidget>

struct DeskContext;

/// `frmdecide`: plain mail, or mail with an attached file?
class FrmDecide : public QWidget
{
    Q_OBJECT
public:
    explicit FrmDecide(DeskContext &context);

private:
    DeskContext &m_context;
};
