#pragma once

#include <QtGlobal>

#if defined(PINDLE_LIBRARY)
#define PINDLE_EXPORT Q_DECL_EXPORT
#else
#define PINDLE_EXPORT Q_DECL_IMPORT
#endif
