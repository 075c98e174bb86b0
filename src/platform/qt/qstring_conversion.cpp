#include "platform/qt/qstring_conversion.h"

// The conversions are inline; this unit keeps the header compiled on its own.
