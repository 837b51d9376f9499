// Only for the automatic tests (see background.js): a page on this machine
// posts {tipo: "tandrel-prueba", enlace} and gets Tandrel's answer back.
"use strict";

window.addEventListener("message", (evento) => {
    if (evento.source !== window || !evento.data || evento.data.tipo !== "tandrel-prueba")
        return;
    chrome.runtime.sendMessage({ tipo: "tandrel-prueba", enlace: evento.data.enlace }, (respuesta) => {
        window.postMessage({ tipo: "tandrel-respuesta", respuesta: respuesta || null }, "*");
    });
});
