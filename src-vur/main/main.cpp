#include "src-vur/kmmapp.h"

START_JUCE_APPLICATION (DERIzidirurodo)
