#include "connect.h"

// The button's action. The export itself (host detection, the save dialog, the host's fixed-format export
// with our exporter) is not wired in yet: the click does nothing.
HRESULT CConnect::ConvButtonClicked(IDispatch*)
{
    return S_OK;
}
