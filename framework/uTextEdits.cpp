#include "framework/uTextEdits.h"

#include <QMimeData>

bool HasInsertableData(const QMimeData* source)
{
    return source && !source->formats().isEmpty();
}

bool TTextEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return HasInsertableData(source) && QTextEdit::canInsertFromMimeData(source);
}

void TTextEdit::insertFromMimeData(const QMimeData* source)
{
    if (HasInsertableData(source))
        QTextEdit::insertFromMimeData(source);
}

bool TPlainTextEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return HasInsertableData(source) && QPlainTextEdit::canInsertFromMimeData(source);
}

void TPlainTextEdit::insertFromMimeData(const QMimeData* source)
{
    if (HasInsertableData(source))
        QPlainTextEdit::insertFromMimeData(source);
}
