#!/bin/sh
# Usage: CheckExports.sh libvokDSPsr.so libzel-mvx-osl.so
# The reader library defines exactly the nine reader entry points as dynamic
# symbols; MVXError, its vtable and typeinfo come from the platform library.
set -eu
entries=" fFnVOK32XX_CreateIndirect fFnVOK32XX_Create cFnVOK32XX_GetNext \
fFnVOK32XX_Destroy fFnGetMixedDataCurrentRecordInfo lpibmsfFnCreate fFnGetNextIBMSF \
fFnGetIBMSFCurrentRecordInfo fFnDestroyIBMSF "
status=0
for sym in $(nm -D --defined-only "$1" | awk '{print $3}'); do
    case "$entries" in *" $sym "*) ;; *) echo "unexpected export: $sym"; status=1 ;; esac
done
for sym in $entries; do
    nm -D --defined-only "$1" | grep -q " $sym\$" || { echo "missing export: $sym"; status=1; }
done
mvx=$(nm -DC --defined-only "$2")
for sym in 'MVXError::MVXError(char const\*, int, int, char const\*, int)' \
    'MVXError::MVXError(MVXError const&)' 'MVXError::~MVXError()' 'MVXError::Message() const' \
    'MVXError::Code() const' 'MVXError::SubCode() const' 'MVXError::File() const' \
    'MVXError::Line() const' 'typeinfo for MVXError' 'vtable for MVXError'; do
    echo "$mvx" | grep -q " $sym\$" || { echo "missing from $2: $sym"; status=1; }
done
exit $status
