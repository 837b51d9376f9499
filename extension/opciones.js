"use strict";

const $ = (id) => document.getElementById(id);

function mostrar(ajustes) {
    $("capturar").checked = ajustes.capturar;
    $("extensiones").value = ajustes.extensiones.join(", ");
    $("tamano").value = ajustes.tamanoMinimoMB;
}

async function comprobarHost() {
    try {
        const r = await chrome.runtime.sendNativeMessage("org.tandrel.tandrel", { accion: "comprobar" });
        $("estado").textContent = "Tandrel " + r.version + " está listo.";
    } catch (e) {
        $("estado").textContent = "No se encuentra Tandrel: ejecute «downloader --registrar-navegador».";
    }
}

$("guardar").addEventListener("click", async () => {
    const tamano = Math.max(0, Math.floor(Number($("tamano").value) || 0));
    await chrome.storage.local.set({
        capturar: $("capturar").checked,
        extensiones: normalizarExtensiones($("extensiones").value),
        tamanoMinimoMB: tamano,
    });
    mostrar(await leerAjustes());
    $("estado").textContent = "Guardado.";
});

$("restablecer").addEventListener("click", async () => {
    await chrome.storage.local.clear();
    mostrar(await leerAjustes());
    $("estado").textContent = "Se han restablecido los valores por defecto.";
});

leerAjustes().then(mostrar);
comprobarHost();
