#!/bin/sh
# Builds the C and C++ examples with pkg-config, into the current directory.
set -eu
src=$(dirname "$0")
cc -o use_c "$src/use.c" $(pkg-config --cflags --libs vesk_10)
c++ -std=c++17 -o use_cpp "$src/use.cpp" $(pkg-config --cflags --libs vesk_10)
