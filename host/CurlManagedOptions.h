// The libcurl options the HTTP client owns: TLS verification, allowed protocols and redirects, what each
// request sets for its method, and verbose output (it would print bearer tokens). Letting a caller change
// them would weaken TLS, corrupt a request or leak a credential.
#pragma once

namespace host {

bool IsManagedCurlOption(int option);

}  // namespace host
