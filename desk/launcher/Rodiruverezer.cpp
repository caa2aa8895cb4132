#include "Rodiruverezer.h"

#include "shell/DeskContext.h"

Rodiruverezer::Rodiruverezer(DeskContext &context)
    : m_context(context)
{
    setObjectName(QStringLiteral("RODIRUVEREZER"));
}

void Rodiruverezer::DeleteAllFiles()
{
}
