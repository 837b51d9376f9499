#pragma once

#include <QtGlobal>

#if defined(GRAFICA_LIBRARY)
#define GRAFICA_EXPORT Q_DECL_EXPORT
#else
#define GRAFICA_EXPORT Q_DECL_IMPORT
#endif
