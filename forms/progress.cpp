#include "forms/progress.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <thread>

#include "common/number_text.h"

namespace forms {

namespace {
// The bar counts in thousandths, so sizes beyond an int's range fit.
constexpr int kBarSteps = 1000;

int barValue(std::int64_t done, std::int64_t total) {
    if (total <= 0) {
        return 0;
    }
    const double part =
        static_cast<double>(std::clamp<std::int64_t>(done, 0, total)) / static_cast<double>(total);
    return static_cast<int>(part * kBarSteps);
}
}  // namespace

QString progressText(std::int64_t done, std::int64_t total) {
    const auto size = [](std::int64_t bytes) {
        return QString::fromStdString(
            common::sizeText(static_cast<std::uint64_t>(std::max<std::int64_t>(bytes, 0))));
    };
    return QStringLiteral("%1 of %2").arg(size(done), size(total));
}

bool DialogProgressRunner::run(QWidget* parent, const ProgressJob& job) {
    QEventLoop loop;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        job.work();
        finished.store(true);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QApplication::setOverrideCursor(Qt::BusyCursor);

    QPointer<QProgressDialog> dialog;
    QTimer update;
    update.setInterval(50);
    const auto refresh = [&] {
        if (dialog) {
            const std::int64_t done = job.done != nullptr ? job.done->load() : 0;
            const std::int64_t total = job.liveTotal != nullptr ? job.liveTotal->load() : job.total;
            QString text = job.label + QStringLiteral("\n") + progressText(done, total);
            if (job.detail) {
                text += QStringLiteral("\n") + job.detail();
            }
            dialog->setValue(barValue(done, total));
            dialog->setLabelText(text);
        }
    };
    QObject::connect(&update, &QTimer::timeout, &loop, refresh);
    update.start();

    // Until the dialog shows, input to the windows waits (it is delivered afterwards, or
    // blocked by the modal dialog); painting and timers go on.
    QTimer::singleShot(delayMs_, &loop, &QEventLoop::quit);
    if (!finished.load()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!finished.load()) {
        dialog = new QProgressDialog(
            job.label, job.cancelCaption.isEmpty() ? QStringLiteral("Cancel") : job.cancelCaption,
            0, kBarSteps, parent);
        dialog->setObjectName(QStringLiteral("progressDialog"));
        dialog->setWindowTitle(job.title);
        dialog->setWindowModality(Qt::ApplicationModal);
        dialog->setAutoReset(false);
        dialog->setAutoClose(false);
        dialog->setMinimumDuration(0);
        QObject::connect(dialog, &QProgressDialog::canceled, &loop, [&] {
            if (job.cancel != nullptr) {
                job.cancel->store(true);
            }
            dialog->setLabelText(QStringLiteral("Cancelling..."));
        });
        QApplication::restoreOverrideCursor();
        dialog->show();
        refresh();
        while (!finished.load()) {
            loop.exec();
        }
        QApplication::setOverrideCursor(Qt::BusyCursor);
    }
    worker.join();
    update.stop();
    delete dialog.data();
    QApplication::restoreOverrideCursor();
    return job.cancel == nullptr || !job.cancel->load();
}

}  // namespace forms
