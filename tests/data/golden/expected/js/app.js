"use strict";
function f(a) {
 return a > 1 ? "<i> </i>" : ""; // trailing
}
 f(2);
