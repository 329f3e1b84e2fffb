// The pictures compiled into the program: PNG at 1x and @2x under ":/img/", the
// application icon as ":/img/appico.ico", the served SVGs under ":/img/SVG/" and
// every picture's SVG source under ":/img/src/".
#pragma once

// Registers them. They live in a static library, whose resource initialiser the
// linker would otherwise drop: call this once at start-up, before the first
// picture is loaded.
void initVantorImages();
