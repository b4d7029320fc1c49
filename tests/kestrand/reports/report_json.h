#pragma once

// Runs the engine and reads its JSON back with Qt, as the report window does.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <string>

#include "kestrand/reports/engine.h"

namespace report_test {

inline QJsonObject parseJson(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document.object();
}

inline std::string str(const QJsonValue& value) { return value.toString().toStdString(); }
inline long long num(const QJsonValue& value) { return value.toInteger(-1); }

// The file row of that path, or an empty object.
inline QJsonObject fileRow(const QJsonObject& report, const std::string& path) {
    for (const QJsonValue file : report["files"].toArray()) {
        if (str(file.toObject()["path"]) == path) {
            return file.toObject();
        }
    }
    return {};
}

}  // namespace report_test
