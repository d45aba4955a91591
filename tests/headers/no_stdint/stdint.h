/* Stands in for <stdint.h> where Microsoft's compilers before Visual Studio 2010 have
 * none: the header must not include it there. */
#error "vesk_10.h included <stdint.h> for a compiler that has none"
