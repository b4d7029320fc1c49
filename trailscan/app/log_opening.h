#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "forms/platform.h"
#include "trailscan/app/log_file_request.h"
#include "trailscan/log/channel.h"
#include "trailscan/log/field_index.h"

class QDragEnterEvent;
class QMimeData;
class QWidget;

namespace trailscan::app {

// The open steps both windows share. Every failure is told to the user here, in a message
// titled with the window's title; a Cancel is not a failure and says nothing.
class LogOpening {
  public:
    LogOpening(forms::Platform& platform, QWidget* window) : platform_(platform), window_(window) {}

    // The open-file dialog; nothing on Cancel.
    std::optional<QString> choose();
    // The short-name rule, then the open. A short name from the dialog ends the program; one
    // given on the command line or by a drop gets a message instead.
    bool open(log::Channel& channel, const QString& fileName, bool fromDialog);
    // Counts the lines from the channel's position (with progress and Cancel when that takes
    // long), then opens the file again at its first byte. Nothing on Cancel or a failure; the
    // channel is then closed. With `index`, the count also fills that field index.
    std::optional<std::int64_t> countAndReopen(log::Channel& channel, const QString& fileName,
                                               log::FieldIndex* index = nullptr);
    void reportFailure(const QString& fileName, const std::string& reason);

  private:
    forms::Platform& platform_;
    QWidget* window_;
};

// The first local file among dropped URLs, if any.
std::optional<QString> droppedLog(const QMimeData* data);
// Accepts a drag that carries a local file and refuses anything else, so the cursor shows it.
void acceptLogDrag(QDragEnterEvent* event);

}  // namespace trailscan::app
