// The flash map dialog: the picture and a close button.
#include "flashmapdlg.h"

#include "flashmapview.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

FlashMapDlg::FlashMapDlg(const FlashPlan &plan, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("烧录地图"));
    view = new FlashMapView(plan, this);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *close = buttons->addButton(tr("关闭"), QDialogButtonBox::RejectRole);
    close->setObjectName("closePushButton");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view);
    layout->addWidget(buttons);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}
