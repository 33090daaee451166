/* Machine-dependent JNI types for Windows (MinGW-w64, i686 and x86_64).
 *
 * JNIEXPORT is deliberately empty: Nativa.dll names its exports in a .def file only.
 * __declspec(dllexport) would add a second, undecorated export of each native on i686
 * beside the "_Name@N" the JVM looks for. */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT
#define JNIIMPORT
#define JNICALL __stdcall

/* LLP64: long is 32 bits on both Windows targets, as in the Windows JDK's own header. */
typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
