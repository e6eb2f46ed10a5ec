#include "source/file_reasons.h"

#include <optional>

namespace pelk {
namespace {

struct Reason {
    FailureKind kind;
    QString text;
};

// Said alike of a file that is shown and of one that is written.
const Reason eitherReasons[] = {
    {FailureKind::NotAFile, QStringLiteral("通常のファイルではありません。")},
    {FailureKind::ForeignFile, QStringLiteral("ほかのユーザーのファイルです。")},
};

const Reason shownReasons[] = {
    {FailureKind::FileNotFound, QStringLiteral("ファイルが見つかりません。")},
    {FailureKind::NotAPicture, QStringLiteral("画像として読み込めない形式か、ファイルが壊れています。")},
    {FailureKind::PathTooLong, QStringLiteral("パスが長すぎます。変換後のファイル名が入りきりません。")},
    {FailureKind::TooLarge, QStringLiteral("画像が大きすぎるため読み込めません。")},
    {FailureKind::ReadFailed, QStringLiteral("ファイルを読み込めません。")},
    {FailureKind::UnreadableName, QStringLiteral("ファイル名に読み取れない文字が含まれています。")},
    // rename's negative maximum length: a path of fewer than four characters.
    {FailureKind::InvalidValue, QStringLiteral("ファイル名が短すぎます。")},
};

const Reason writtenReasons[] = {
    {FailureKind::NoPermission, QStringLiteral("書き込む権限がありません。")},
    {FailureKind::DiskFull, QStringLiteral("ディスクの空き容量が足りません。")},
    {FailureKind::EncoderFailed, QStringLiteral("JPEG に変換できませんでした。")},
};

template <std::size_t N>
std::optional<QString> find(const Reason (&reasons)[N], FailureKind kind)
{
    for (const Reason& reason : reasons)
        if (reason.kind == kind)
            return reason.text;
    return std::nullopt;
}

template <std::size_t N>
QString reasonFor(const Reason (&own)[N], FailureKind kind, const QString& otherwise)
{
    if (std::optional<QString> text = find(own, kind))
        return *text;
    return find(eitherReasons, kind).value_or(otherwise);
}

}  // namespace

QString shownReason(FailureKind kind)
{
    return reasonFor(shownReasons, kind, QStringLiteral("ファイルを処理できません。"));
}

QString writtenReason(FailureKind kind)
{
    return reasonFor(writtenReasons, kind, QStringLiteral("ファイルを保存できませんでした。"));
}

}  // namespace pelk
