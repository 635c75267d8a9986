/* The product's version, in the one place it is written: the C++ code and
 * the resource scripts both read it (so: preprocessor definitions only). */
#ifndef QF_VALUES_VERSION_H
#define QF_VALUES_VERSION_H

#define QF_VERSION_MAJOR 4
#define QF_VERSION_MINOR 0
/* "4.0" as people read it, and the four-part form of the file properties. */
#define QF_VERSION_TEXT "4.0"
#define QF_VERSION_FILE_TEXT "4.0.0.0"

#endif
