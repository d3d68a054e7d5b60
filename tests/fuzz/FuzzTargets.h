#pragma once

#include <QByteArray>

// One function per reader of outside input; each aborts when an invariant breaks.
namespace Tollgate::Fuzz {

int ini(const QByteArray& bytes);
int iniText(const QByteArray& bytes);
int registry(const QByteArray& bytes);
int document(const QByteArray& bytes);
int language(const QByteArray& bytes);
int pattern(const QByteArray& bytes);
int compoundText(const QByteArray& bytes);
int proc(const QByteArray& bytes);
int shellWords(const QByteArray& bytes);

} // namespace Tollgate::Fuzz
