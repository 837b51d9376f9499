#pragma once

#include <QtGlobal>

#if defined(PROGRESO_LIBRARY)
#define PROGRESO_EXPORT Q_DECL_EXPORT
#else
#define PROGRESO_EXPORT Q_DECL_IMPORT
#endif
