// The extension's settings, shared by the background script and the options page.
"use strict";

// Tandrel's own list of extensions for catching downloads.
const EXTENSIONES_POR_DEFECTO = [".zip", ".exe", ".cab", ".tar", ".ace", ".com", ".arj",
    ".doc", ".vb", ".vbs", ".gz", ".js", ".pif"];

const AJUSTES_POR_DEFECTO = {
    capturar: false,           // off until the user turns it on
    extensiones: EXTENSIONES_POR_DEFECTO,
    tamanoMinimoMB: 0,         // 0: no size rule
};

async function leerAjustes() {
    const guardados = await chrome.storage.local.get(AJUSTES_POR_DEFECTO);
    return { ...AJUSTES_POR_DEFECTO, ...guardados };
}

// ".ZIP", "zip" and " .zip " are one extension.
function normalizarExtensiones(texto) {
    return texto.split(/[\s,;]+/)
        .map((e) => e.trim().toLowerCase())
        .filter((e) => e.length > 0)
        .map((e) => (e.startsWith(".") ? e : "." + e));
}

// Whether a new download of the browser is one to hand to Tandrel.
function debeCapturar(ajustes, nombre, bytes) {
    if (!ajustes.capturar)
        return false;
    const bajo = (nombre || "").toLowerCase();
    if (ajustes.extensiones.some((e) => bajo.endsWith(e)))
        return true;
    const minimo = Number(ajustes.tamanoMinimoMB) || 0;
    return minimo > 0 && bytes > 0 && bytes >= minimo * 1024 * 1024;
}

if (typeof module !== "undefined")
    module.exports = { debeCapturar, normalizarExtensiones, AJUSTES_POR_DEFECTO };
