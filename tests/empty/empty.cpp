// A libCommonInterface.so that opens but exports none of the entry points.
static int unused = 0;
int *emptyDeviceLibraryMarker()
{
    return &unused;
}
