#pragma once
// Rich text (RTF) to plain text, for text columns that hold formatted documents.

#include <QString>

/// True when the text begins with "{\rtf", compared without regard to case.
bool IsRichText(const QString& text);

/// The plain text of an RTF document: paragraph and line marks become CR LF, \tab a tab, \'hh is
/// read in the document's code page (\ansicpg, default 1252), \uN is taken with its \ucN fallback
/// skipped, and the font, colour and style tables, document information, pictures and every
/// ignorable destination (\*) are left out. Malformed input never fails: what could be read is
/// returned.
QString RichTextToPlainText(const QString& rtf);
