function o = nlfix_snl(S, r, model, u, v, a, opt, arg)
% Force function of the tests: a spring of stiffness S.k on the observed
% displacements, returned in the field "snl".
  o = struct('snl', S.k .* reshape(S.unl(1:numel(S.k)), [], 1));
end
