#include "updater/updatedialog.h"
#include "ui_updatedialog.h"

#include "updater/contentupdate.h"

#include <QPushButton>
#include <QTimer>

UpdateDialog::UpdateDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::UpdateDialog)
    , m_update(new ContentUpdate(this))
{
    ui->setupUi(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(true);
    ui->progressBar->setValue(0);

    connect(m_update, &ContentUpdate::logLine, this, &UpdateDialog::onLogLine);
    connect(m_update, &ContentUpdate::labelChanged, ui->label, &QLabel::setText);
    connect(m_update, &ContentUpdate::progressChanged, this, &UpdateDialog::onProgressChanged);
    connect(m_update, &ContentUpdate::finished, this, &UpdateDialog::onFinished);
    // Cancel, Escape or the window's close button: every transfer stops now.
    connect(this, &QDialog::rejected, m_update, &ContentUpdate::cancel);
    m_update->introduce();
    // Nothing is fetched before the window has been seen; closing it within this
    // second fetches nothing at all.
    QTimer::singleShot(1000, m_update, &ContentUpdate::start);
}

UpdateDialog::~UpdateDialog()
{
    delete m_update;
    delete ui;
}

void UpdateDialog::onLogLine(const QString &text)
{
    ui->textEdit->appendPlainText(text);
}

void UpdateDialog::onProgressChanged(int value, int maximum)
{
    ui->progressBar->setMaximum(maximum);
    ui->progressBar->setValue(value);
}

void UpdateDialog::onFinished(bool succeeded)
{
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(succeeded);
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(!succeeded);
    if (succeeded)
        QTimer::singleShot(3000, this, &QWidget::close);
}
