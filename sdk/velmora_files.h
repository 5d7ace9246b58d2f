/* Velmora guest SDK: files services. */
#ifndef VELMORA_FILES_H
#define VELMORA_FILES_H

#include "velmora_gate.h"

#endif
