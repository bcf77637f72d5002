// app.js
"use strict";
/* helpers */
function f(a) {
	return a > 1 ? "<i> </i>" : "";  // trailing
}

// run
	f(2);
