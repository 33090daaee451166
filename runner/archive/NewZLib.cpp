#include "NewZLib.h"
