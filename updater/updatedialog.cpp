#include "updater/updatedialog.h"
#include "ui_updatedialog.h"

#include "updater/contentupdate.h"

#include <QDebug>
#include <QPushButton>
#include <QTimer>

UpdateDialog::UpdateDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::UpdateDialog)
{
    ui->setupUi(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(false);
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(true);
    // Beside OK and Cancel, shown only after a failure; it does not end the window.
    retryButton = ui->buttonBox->addButton(tr("Try Again"), QDialogButtonBox::ActionRole);
    retryButton->setObjectName(QStringLiteral("retryButton"));
    retryButton->hide();
    connect(retryButton, &QPushButton::clicked, this, &UpdateDialog::doRetry);
    ui->progressBar->setValue(0);
    clock.start();
    makeUpdate();
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

void UpdateDialog::makeUpdate()
{
    m_update = new ContentUpdate(this);
    connect(m_update, &ContentUpdate::logLine, this, &UpdateDialog::onLogLine);
    connect(m_update, &ContentUpdate::labelChanged, ui->label, &QLabel::setText);
    connect(m_update, &ContentUpdate::progressChanged, this, &UpdateDialog::onProgressChanged);
    connect(m_update, &ContentUpdate::bytesChanged, this, &UpdateDialog::onBytesChanged);
    connect(m_update, &ContentUpdate::finished, this, &UpdateDialog::onFinished);
    // Cancel, Escape or the window's close button: every transfer stops now.
    connect(this, &QDialog::rejected, m_update, &ContentUpdate::cancel);
}

int UpdateDialog::installedFiles() const
{
    return installedBefore + m_update->installedFiles();
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

void UpdateDialog::onBytesChanged(qint64 received, qint64 total)
{
    rate.note(received, clock.elapsed());
    ui->rateLabel->setText(TransferRate::describe(rate.bytesPerSecond(), total < 0 ? -1 : qMax<qint64>(0, total - received)));
}

void UpdateDialog::onFinished(bool succeeded)
{
    rate.clear();
    ui->rateLabel->clear();
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(succeeded);
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setEnabled(!succeeded);
    if (succeeded) {
        QTimer::singleShot(3000, this, &QWidget::close);
        return;
    }
    // The failure's own line says what went wrong; this one what comes next.
    const QString next = tr("The update did not finish. Cancel starts the game with the content it has; "
                            "Try Again asks the server once more.");
    qDebug() << next;
    ui->textEdit->appendPlainText(next);
    retryButton->show();
    retryButton->setFocus();
}

// The same steps as at the start, at once (the player asked for them); what
// the failed try installed stays installed and is found current.
void UpdateDialog::doRetry()
{
    retryButton->hide();
    installedBefore += m_update->installedFiles();
    delete m_update;
    makeUpdate();
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setFocus();
    ui->progressBar->setMaximum(100);
    ui->progressBar->setValue(0);
    ui->label->clear();
    ui->textEdit->appendPlainText(QString());
    m_update->introduce();
    m_update->start();
}
