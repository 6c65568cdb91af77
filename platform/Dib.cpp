#include "platform/Dib.h"
