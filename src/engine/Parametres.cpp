#include "engine/Parametres.h"
