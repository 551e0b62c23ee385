#include "wave_test_support.h"
